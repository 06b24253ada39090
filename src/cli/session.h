// One host session of the command line: the MIF file store, the substitute
// host with the plug-in loaded into it, the documents and books opened from
// local files, the answers given to the plug-in's questions, and the records
// (alerts, prompts, console and status lines, saves) a job reports from.
//
//   Result<std::unique_ptr<HostSession>> session = HostSession::Start(config, io);
//   Result<substitute::Document*> doc = session.Value()->OpenDocument("manual/ch1.mif");
//   session.Value()->RunCommand(3);            // List Table Usage on the active document
//   io.out << RenderReport(*session.Value()->NewUntitledDocuments().front());
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/document_text.h"
#include "cli/outcome.h"
#include "substitute/file_store.h"
#include "substitute/plugin_session.h"
#include "substitute/substitute_host.h"

namespace gw::mif {
class MifFileStore;
}

namespace gw::cli {

// The streams a job talks to and whether they are terminals.
struct Io {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool inputIsTerminal = false;
  bool errorIsTerminal = false;
};

// Standing answers for the plug-in's questions. Unset ones are asked on the
// terminal when the input is one, and otherwise declined.
struct Answers {
  // Answers given one by one (scripts), used before the standing ones: an
  // alert answer (0 OK/yes, 1 Cancel/no) for the next question, or a prompt
  // choice (an index, -1 cancel) for the next list prompt.
  struct Queued {
    bool prompt = false;
    int32_t value = 0;
    std::optional<std::string> item;  // prompts: choose the item with this text
  };
  std::deque<Queued> queued;
  std::optional<bool> confirm;      // OK/Cancel and Yes/No questions
  std::optional<int32_t> listType;  // "Choose a list type": 0 empty, 1 used, 2 all
  std::optional<std::string> tag;   // "Choose a table tag."
  bool interactive = false;         // ask on the terminal what is not given
};

struct SessionConfig {
  std::filesystem::path pluginPath;  // the plug-in's shared library
  std::filesystem::path icuDataDir;  // its converter data
  // Saves are described (from the change record) instead of written.
  bool dryRun = false;
  // The book's status line is shown on standard error while a walk runs.
  bool showProgress = false;
  // Files read at once (--jobs): with more than one, the chapters of a book
  // walk are read ahead and a book's pre-check parses side by side. 1 reads
  // everything on the one thread that runs the plug-in.
  unsigned jobs = 1;
};

// The most jobs a run takes (the files read ahead are held in memory).
inline constexpr unsigned kMaxJobs = 64;

// A job count from text ("2"): 1 to kMaxJobs, digits only; nullopt otherwise.
[[nodiscard]] std::optional<unsigned> JobCount(std::string_view text);
// The jobs of a run not told otherwise: GRIDWRIGHT_JOBS when it holds a job
// count, else 2 on a machine with at least two hardware threads, else 1.
[[nodiscard]] unsigned DefaultJobs();

// Where the plug-in and its converter data are: beside the running program
// (the build tree), else in the installed layout relative to it
// (bin/../lib/gridwright, bin/../share/gridwright/icu_data), unless GRIDWRIGHT_PLUGIN / GRIDWRIGHT_ICU_DATA say otherwise (options given
// on the command line override both); and DefaultJobs().
[[nodiscard]] SessionConfig DefaultSessionConfig();

// Test seam: called with the host of every session just before and just
// after each command or client call is delivered (to inject failures and
// count what the plug-in did), and once the plug-in has been shut down, before
// the host goes (to check its blocks). Unset in use.
struct SessionProbe {
  std::function<void(substitute::SubstituteHost&)> beforeCommand;
  std::function<void(substitute::SubstituteHost&)> afterCommand;
  std::function<void(substitute::SubstituteHost&)> atEnd;
};
void SetSessionProbe(SessionProbe probe);

// A save or a load that the store saw during a command.
struct FileEvent {
  // kWithheld: a save the plug-in asked for after something had failed in
  // the same command, refused so that no half-done work reaches the file.
  enum class Kind { kLoaded, kNotFound, kLoadFailed, kSaved, kSaveFailed, kWouldSave, kWithheld };
  Kind kind = Kind::kLoaded;
  std::string hostPath;
  std::string message;               // failures: "file:line: what"
  std::vector<std::string> changes;  // saves: what the save writes, from its change record
  uint64_t at = 0;                   // the host's call count when it happened
};

class HostSession {
 public:
  // Makes the store and the host and loads the plug-in (Initialize with 1).
  // Fails with kFailed when the plug-in cannot be loaded.
  [[nodiscard]] static Result<std::unique_ptr<HostSession>> Start(const SessionConfig& config, Io& io);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // ---- Files ----
  // Whether a local file is a MIF book (<Book ...>) rather than a document.
  [[nodiscard]] static Result<bool> IsBookFile(const std::filesystem::path& local);
  // Opens a MIF document as the host opens a file and makes it the active
  // document (the same document when it is already open). kUnreadable with
  // the reader's "file:line: what" for a file that does not read.
  [[nodiscard]] Result<substitute::Document*> OpenDocument(const std::filesystem::path& local);
  // Opens a MIF book and makes it the active book. Its documents stay closed.
  [[nodiscard]] Result<substitute::Book*> OpenBook(const std::filesystem::path& local);
  // Reads and parses every document of the book (without making documents),
  // so that a changing book command does not start on a book with a file
  // that does not read.
  [[nodiscard]] Status CheckBookReadable(substitute::Book& book);
  // The files a walk of the book opens: its documents in book order (groups
  // depth first), less those the host has open already (host names).
  [[nodiscard]] std::vector<std::string> WalkOrder(substitute::Book& book) const;
  // Lets the store read the book's documents ahead of a walk (with more than
  // one job), until EndBookWalk. Commands and client calls do this for the
  // active book themselves.
  void ExpectBookWalk(substitute::Book& book);
  void EndBookWalk();
  // Saves an open document over its own file (atomically, through the
  // store); in a dry run only records what would change.
  [[nodiscard]] Status SaveDocument(const substitute::Document& document);
  // Makes the renames of the saves so far durable, flushing each folder once;
  // called when a command's walk ends.
  void SyncSavedFolders();
  // The file store under the host: what it read and saved.
  [[nodiscard]] const mif::MifFileStore& Files() const;
  // Writes a document the plug-in made (a report, a list) as a new MIF file.
  [[nodiscard]] Status WriteNewMif(const substitute::Document& document, const std::filesystem::path& local);
  // Writes text as a new file (a list in its plain text form), atomically;
  // like WriteNewMif, never over a document of this run.
  [[nodiscard]] Status WriteNewText(std::string_view text, const std::filesystem::path& local);
  // The host name of a local path ("G:\\work\\ch1.mif") and back.
  [[nodiscard]] Result<std::string> HostName(const std::filesystem::path& local) const;
  // The local path of a host name of this session ("/work/ch1.mif"), or the
  // host name itself when it names no local file.
  [[nodiscard]] std::string LocalPathOf(const std::string& hostName) const;
  // An open document or book named by a local path, a host name or a file
  // name ("chapter1.mif"); nullptr / 0 when none.
  [[nodiscard]] substitute::Document* FindOpenDocument(const std::string& name);
  [[nodiscard]] ::ObjectId FindBookId(const std::string& name);
  [[nodiscard]] substitute::Book* ActiveBookObject();
  // What saving an open document would write into its file (the MIF
  // layer's change record; empty when nothing would change).
  [[nodiscard]] Result<mif::ChangeRecord> PendingChanges(const substitute::Document& document) const;
  // The lines in its MIF file of objects of an open document (table formats,
  // tables, rows, cells); nullopt for objects the file does not hold.
  [[nodiscard]] std::vector<std::optional<uint32_t>> SourceLines(::ObjectId document,
                                                                 const std::vector<::ObjectId>& objects) const;

  // ---- Commands ----
  // Sends Command(number); the notification's faults are recorded. Every
  // document the command saves gets the list of its changes in its FileEvent.
  void RunCommand(int32_t number);
  // Sends the client call (Notify 13) with the string.
  void ClientCall(const std::string& text);
  // Untitled documents opened since the last MarkDocuments (reports, lists).
  void MarkDocuments();
  [[nodiscard]] std::vector<substitute::Document*> NewUntitledDocuments();

  // ---- Answers and records ----
  void SetAnswers(Answers answers) { answers_ = std::move(answers); }
  [[nodiscard]] Answers& MutableAnswers() { return answers_; }
  // Whether a requested tag was missing from the list of a tag prompt.
  [[nodiscard]] bool TagMissing() const { return tagMissing_; }
  [[nodiscard]] substitute::SubstituteHost& Host() { return *host_; }
  [[nodiscard]] substitute::PluginSession& Plugin() { return *plugin_; }
  [[nodiscard]] const std::vector<FileEvent>& FileEvents() const;
  // The alerts and prompts, console text, status lines and file events since
  // the last call, as transcript lines ("alert 1: ... -> OK").
  [[nodiscard]] std::vector<std::string> TakeTranscript();
  // Counts since the session started.
  [[nodiscard]] size_t InteractionCount() const;
  [[nodiscard]] size_t FaultCount() const;
  [[nodiscard]] size_t FileEventCount() const;

  // Positions in the records; what happened after them makes the facts of a
  // command, and the outcome follows from those (Decide): 3 for a file that
  // did not load, 4 for a fault, a failed host operation, a problem the
  // plug-in reported, a warning (kind 3 alert) or a failed save, 1 for a
  // declined or unanswered question, else 0.
  struct Marks {
    size_t interactions = 0;
    size_t faults = 0;
    size_t fileEvents = 0;
    size_t consoleBytes = 0;
    size_t failedCalls = 0;
  };
  [[nodiscard]] Marks Mark() const;
  [[nodiscard]] CommandFacts Facts(const Marks& since) const;
  [[nodiscard]] ExitCode Judge(const Marks& since) const { return Decide(Facts(since)).code; }

 private:
  class WatchingStore;
  class WalkOfActiveBook;
  HostSession(const SessionConfig& config, Io& io);
  std::optional<int32_t> Answer(const substitute::Interaction& interaction);
  std::optional<int32_t> AskOnTerminal(const substitute::Interaction& interaction);

  SessionConfig config_;
  Io& io_;
  std::unique_ptr<WatchingStore> store_;
  std::unique_ptr<substitute::SubstituteHost> host_;
  std::unique_ptr<substitute::PluginSession> plugin_;
  std::vector<::ObjectId> books_;  // opened by OpenBook, in order
  std::vector<::ObjectId> marked_;
  Answers answers_;
  bool tagMissing_ = false;
  bool walkExpected_ = false;  // between ExpectBookWalk and EndBookWalk
  // Set while a command or client call runs: where its records begin.
  std::optional<Marks> commandMarks_;
  // Transcript positions.
  size_t transcriptInteractions_ = 0;
  size_t transcriptConsole_ = 0;
  size_t transcriptFileEvents_ = 0;
  size_t transcriptFaults_ = 0;
  std::map<::ObjectId, size_t> transcriptStatus_;
};

}  // namespace gw::cli
