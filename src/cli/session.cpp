// The host session: store, host, plug-in, answers and records.
#include "cli/session.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "cli/plain_list.h"
#include "mif/host_paths.h"
#include "mif/mif_document.h"
#include "mif/mif_file_store.h"
#include "mif/mif_writer.h"
#include "platform/library.h"

namespace gw::cli {

namespace sub = gw::substitute;

namespace {

constexpr int32_t kAlertConfirm = 1;
constexpr int32_t kAlertWarning = 3;
constexpr int32_t kAlertQuestion = 4;
constexpr char kListTypeTitle[] = "Choose a list type";
constexpr char kTagTitle[] = "Choose a table tag.";

std::filesystem::path ProgramFolder() {
  char self[4096];
  if (ProgramFileName(self, sizeof self) == 0) return std::filesystem::current_path();
  return std::filesystem::path(self).parent_path();
}

std::string LastComponent(std::string_view hostName) {
  size_t cut = hostName.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? hostName : hostName.substr(cut + 1));
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Indented(const std::string& text) {
  std::string result;
  for (char c : text) {
    result += c;
    if (c == '\n') result += "  ";
  }
  return result;
}

SessionProbe& Probe() {
  static SessionProbe probe;
  return probe;
}

// A file beside the program (the build tree), else in the installed layout's
// folder relative to it (bin/../lib/gridwright); the installed place when
// neither exists, so that the error names where it was expected.
std::filesystem::path BesideOrInstalled(const std::filesystem::path& folder, const char* installedFolder,
                                        const char* name) {
  std::error_code error;
  if (std::filesystem::exists(folder / name, error)) return folder / name;
  return (folder / installedFolder / name).lexically_normal();
}

}  // namespace

void SetSessionProbe(SessionProbe probe) { Probe() = std::move(probe); }

std::optional<unsigned> JobCount(std::string_view text) {
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || text.front() == '+' || error != std::errc() || end != text.data() + text.size() || value < 1 ||
      value > kMaxJobs) {
    return std::nullopt;
  }
  return value;
}

unsigned DefaultJobs() {
  if (const char* jobs = std::getenv("GRIDWRIGHT_JOBS"); jobs != nullptr) {
    if (std::optional<unsigned> count = JobCount(jobs)) return *count;
  }
  return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

SessionConfig DefaultSessionConfig() {
  SessionConfig config;
  std::filesystem::path folder = ProgramFolder();
  config.pluginPath = BesideOrInstalled(folder, GRIDWRIGHT_INSTALLED_PLUGIN_DIR, GW_PLUGIN_FILE_NAME);
  config.icuDataDir = BesideOrInstalled(folder, GRIDWRIGHT_INSTALLED_DATA_DIR, "icu_data");
  if (const char* plugin = std::getenv("GRIDWRIGHT_PLUGIN"); plugin != nullptr && *plugin != '\0') {
    config.pluginPath = plugin;
  }
  if (const char* data = std::getenv("GRIDWRIGHT_ICU_DATA"); data != nullptr && *data != '\0') {
    config.icuDataDir = data;
  }
  config.jobs = DefaultJobs();
  return config;
}

// ---- The watching store ---------------------------------------------------------------------------

// Wraps the MIF store: records every load and save, shows the book's status
// line as progress, lets the MIF trees of closed documents go (the host does
// not tell the store when it closes one), and in a dry run describes saves
// instead of writing them.
class HostSession::WatchingStore final : public sub::FileStore {
 public:
  WatchingStore(mif::HostPaths paths, HostSession& session)
      : inner_(std::move(paths), mif::MifStoreOptions{false, session.config_.jobs}), session_(session) {}

  [[nodiscard]] sub::LoadResult Load(std::string_view hostPath) override {
    ForgetClosed();
    ShowProgress();
    sub::LoadResult result = inner_.Load(hostPath);
    FileEvent event;
    event.hostPath = std::string(hostPath);
    event.at = Now();
    if (auto* error = std::get_if<sub::StoreError>(&result)) {
      event.kind =
          error->kind == sub::StoreError::Kind::kNotFound ? FileEvent::Kind::kNotFound : FileEvent::Kind::kLoadFailed;
      event.message = error->message;
    } else {
      bound_.push_back(std::get<std::unique_ptr<sub::Document>>(result)->Id());
    }
    events_.push_back(std::move(event));
    return result;
  }

  [[nodiscard]] std::optional<sub::StoreError> Save(std::string_view hostPath, const sub::Document& document) override {
    ShowProgress();
    FileEvent event;
    event.hostPath = std::string(hostPath);
    event.at = Now();
    std::optional<sub::StoreError> error;
    // The lines come from the store's record of what the save writes (or wrote).
    if (session_.config_.dryRun) {
      event.kind = FileEvent::Kind::kWouldSave;
      mif::Result<mif::ChangeRecord> pending = inner_.PendingChanges(document);
      if (pending) {
        event.changes = DescribeChanges(pending.Value(), document);
      } else {
        event.kind = FileEvent::Kind::kSaveFailed;
        event.message = pending.ErrorMessage();
        error = sub::StoreError{sub::StoreError::Kind::kFailed, pending.ErrorMessage()};
      }
    } else if (session_.commandMarks_ && !MayWriteDuringCommand(session_.Facts(*session_.commandMarks_))) {
      event.kind = FileEvent::Kind::kWithheld;
      event.message = "not saved: the command failed before it was done with this document";
      error = sub::StoreError{sub::StoreError::Kind::kFailed, event.message};
    } else {
      error = inner_.Save(hostPath, document);
      event.kind = error ? FileEvent::Kind::kSaveFailed : FileEvent::Kind::kSaved;
      if (error) event.message = error->message;
      if (!error) event.changes = DescribeChanges(inner_.LastSaved(document.Id()), document);
    }
    events_.push_back(std::move(event));
    return error;
  }

  [[nodiscard]] bool Exists(std::string_view hostPath) const override { return inner_.Exists(hostPath); }

  // Lets go of the trees of documents the host no longer has open.
  void ForgetClosed() {
    std::erase_if(bound_, [&](::ObjectId id) {
      if (session_.host_ != nullptr && session_.host_->IsOpen(id)) return false;
      inner_.Forget(id);
      return true;
    });
  }

  // Shows the active book's status line when it changed (standard error,
  // terminals only). The line is rewritten in place.
  void ShowProgress() {
    if (!session_.config_.showProgress || !session_.io_.errorIsTerminal || session_.host_ == nullptr) return;
    sub::Book* book = session_.host_->FindBook(session_.host_->ActiveBook());
    if (book == nullptr || book->StatusLine() == shownStatus_) return;
    shownStatus_ = book->StatusLine();
    session_.io_.err << "\r\x1b[K" << HostTextToUtf8(shownStatus_) << std::flush;
    progressShown_ = true;
  }

  void EndProgress() {
    if (progressShown_) session_.io_.err << "\r\x1b[K" << std::flush;
    progressShown_ = false;
    shownStatus_.clear();
  }

  mif::MifFileStore& Inner() { return inner_; }
  const mif::MifFileStore& Inner() const { return inner_; }
  const std::vector<FileEvent>& Events() const { return events_; }
  // The host's call count, which orders file events among the host's records.
  uint64_t Now() const { return session_.host_ != nullptr ? session_.host_->CallCount() : 0; }
  void Record(FileEvent event) { events_.push_back(std::move(event)); }

 private:
  mif::MifFileStore inner_;
  HostSession& session_;
  std::vector<FileEvent> events_;
  std::vector<::ObjectId> bound_;
  std::string shownStatus_;
  bool progressShown_ = false;
};

// ---- Start and stop ----------------------------------------------------------------------------------

HostSession::HostSession(const SessionConfig& config, Io& io) : config_(config), io_(io) {}

HostSession::~HostSession() {
  if (plugin_ != nullptr) plugin_->Shutdown();
  plugin_.reset();
  if (host_ != nullptr && Probe().atEnd) Probe().atEnd(*host_);
  host_.reset();
}

Result<std::unique_ptr<HostSession>> HostSession::Start(const SessionConfig& config, Io& io) {
  std::unique_ptr<HostSession> session(new HostSession(config, io));
  // The whole local file system is the host's drive G:, so that any path
  // given on the command line has a host name ("/work/a.mif" is "G:\\work\\a.mif").
  session->store_ = std::make_unique<WatchingStore>(mif::HostPaths::WholeFileSystem(), *session);
  sub::HostOptions options;
  options.recordCalls = false;  // a walk over a large book makes millions of calls
  session->host_ = std::make_unique<sub::SubstituteHost>(*session->store_, options);
  session->host_->User().SetResponder(
      [raw = session.get()](const sub::Interaction& interaction) { return raw->Answer(interaction); });
  std::error_code error;
  if (!std::filesystem::exists(config.pluginPath, error)) {
    return Failure{ExitCode::kFailed, "load plug-in: " + config.pluginPath.string() +
                                          ": no such file (set GRIDWRIGHT_PLUGIN or use --plugin)"};
  }
  auto plugin = sub::PluginSession::Load(*session->host_, {config.pluginPath.string(), config.icuDataDir.string()});
  if (!plugin.ok()) return Failure{ExitCode::kFailed, plugin.error()};
  session->plugin_ = std::move(plugin.value());
  if (session->plugin_->InitResult() != 0) {
    return Failure{ExitCode::kFailed, "load plug-in: " + config.pluginPath.string() + ": start-up failed"};
  }
  session->plugin_->Initialize(1);
  return session;
}

// ---- Files ----------------------------------------------------------------------------------------------

Result<bool> HostSession::IsBookFile(const std::filesystem::path& local) {
  Result<std::string> head = FileHead(local);
  if (!head.IsOk()) return head.GetError();
  return head.Value().starts_with("<Book");
}

Result<std::string> HostSession::HostName(const std::filesystem::path& local) const {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(local, error);
  if (error) return Failure{ExitCode::kUsage, local.string() + ": " + error.message()};
  mif::Result<std::string> name = store_->Inner().Paths().ToHost(absolute.lexically_normal());
  if (!name) return Failure{ExitCode::kUsage, name.ErrorMessage()};
  return name.Value();
}

Result<sub::Document*> HostSession::OpenDocument(const std::filesystem::path& local) {
  Result<std::string> name = HostName(local);
  if (!name.IsOk()) return name.GetError();
  if (sub::Document* open = host_->FindDocumentByPath(name.Value())) {
    host_->SetActiveDocument(open->Id());
    return open;
  }
  sub::LoadResult loaded = store_->Load(name.Value());
  if (auto* error = std::get_if<sub::StoreError>(&loaded)) {
    return Failure{ExitCode::kUnreadable, error->message};
  }
  return &host_->AdoptDocument(std::move(std::get<std::unique_ptr<sub::Document>>(loaded)));
}

Result<sub::Book*> HostSession::OpenBook(const std::filesystem::path& local) {
  Result<std::string> name = HostName(local);
  if (!name.IsOk()) return name.GetError();
  sub::Book& book = host_->NewBook(name.Value());
  if (auto error = store_->Inner().LoadBookInto(name.Value(), book)) {
    return Failure{ExitCode::kUnreadable, error->message};
  }
  host_->SetActiveBook(book.Id());
  books_.push_back(book.Id());
  return &book;
}

std::vector<std::string> HostSession::WalkOrder(sub::Book& book) const {
  std::vector<std::string> files;
  std::vector<::ObjectId> pending(book.TopLevel().rbegin(), book.TopLevel().rend());
  while (!pending.empty()) {
    ::ObjectId id = pending.back();
    pending.pop_back();
    const sub::BookComponent* component = book.FindComponent(id);
    if (component == nullptr) continue;
    for (auto child = component->children.rbegin(); child != component->children.rend(); ++child) {
      pending.push_back(*child);
    }
    if (component->kind != sub::kComponentDocument) continue;
    if (host_->FindDocumentByPath(component->fileName) != nullptr) continue;
    files.push_back(component->fileName);
  }
  return files;
}

Status HostSession::CheckBookReadable(sub::Book& book) {
  // Parsed only: the walk's own open is the one read that makes the document.
  // A missing file is the host's ordinary "Could not open file:" case.
  if (std::optional<sub::StoreError> error = store_->Inner().CheckAllParse(WalkOrder(book), true)) {
    return Failure{ExitCode::kUnreadable, error->message};
  }
  return {};
}

void HostSession::ExpectBookWalk(sub::Book& book) {
  store_->Inner().ExpectReads(WalkOrder(book));
  walkExpected_ = true;
}

void HostSession::EndBookWalk() {
  store_->Inner().ExpectReads({});
  walkExpected_ = false;
}

Status HostSession::SaveDocument(const sub::Document& document) {
  std::optional<sub::StoreError> error = store_->Save(document.fileName, document);
  if (error) return Failure{ExitCode::kFailed, "save: " + error->message};
  return {};
}

void HostSession::SyncSavedFolders() { store_->Inner().SyncFolders(); }

const mif::MifFileStore& HostSession::Files() const { return store_->Inner(); }

Status HostSession::WriteNewMif(const sub::Document& document, const std::filesystem::path& local) {
  return WriteNewText(mif::WriteNewDocument(document), local);
}

Status HostSession::WriteNewText(std::string_view text, const std::filesystem::path& local) {
  Result<std::string> name = HostName(local);
  if (name.IsOk() && host_->FindDocumentByPath(name.Value()) != nullptr) {
    return Failure{ExitCode::kUsage, "write " + local.string() + ": that is a document of this run, not written over"};
  }
  // Nor over any file this run read: a book, a chapter the walk opened and
  // closed again, a list, a file that did not read (same file on disk, by any name).
  std::error_code error;
  if (std::filesystem::exists(local, error)) {
    const auto isTarget = [&](const std::string& hostName) {
      mif::Result<std::filesystem::path> read = store_->Inner().Paths().ToLocal(hostName);
      std::error_code ignored;
      return read && std::filesystem::equivalent(read.Value(), local, ignored);
    };
    bool wasRead = false;
    for (const FileEvent& event : store_->Events()) {
      if (event.kind != FileEvent::Kind::kNotFound && isTarget(event.hostPath)) wasRead = true;
    }
    for (::ObjectId id : books_) {
      sub::Book* book = host_->FindBook(id);
      if (book == nullptr) continue;
      if (isTarget(book->fileName)) wasRead = true;
      std::vector<::ObjectId> pending(book->TopLevel().begin(), book->TopLevel().end());
      while (!wasRead && !pending.empty()) {
        const sub::BookComponent* component = book->FindComponent(pending.back());
        pending.pop_back();
        if (component == nullptr) continue;
        pending.insert(pending.end(), component->children.begin(), component->children.end());
        if (component->kind == sub::kComponentDocument && isTarget(component->fileName)) wasRead = true;
      }
    }
    if (wasRead) {
      return Failure{ExitCode::kUsage, "write " + local.string() + ": that is a file this run read, not written over"};
    }
  }
  mif::Status written = mif::WriteFileAtomically(local.string(), text);
  if (!written) return Failure{ExitCode::kFailed, "write " + local.string() + ": " + written.ErrorMessage()};
  return {};
}

std::string HostSession::LocalPathOf(const std::string& hostName) const {
  mif::Result<std::filesystem::path> local = store_->Inner().Paths().ToLocal(hostName);
  return local ? local.Value().string() : hostName;
}

sub::Document* HostSession::FindOpenDocument(const std::string& name) {
  if (Result<std::string> host = HostName(name); host.IsOk()) {
    if (sub::Document* found = host_->FindDocumentByPath(host.Value())) return found;
  }
  for (::ObjectId id : host_->OpenDocuments()) {
    sub::Document* document = host_->FindDocument(id);
    if (document != nullptr && !document->fileName.empty() && EqualNoCase(LastComponent(document->fileName), name)) {
      return document;
    }
  }
  return nullptr;
}

::ObjectId HostSession::FindBookId(const std::string& name) {
  Result<std::string> host = HostName(name);
  for (::ObjectId id : books_) {
    sub::Book* book = host_->FindBook(id);
    if (book == nullptr) continue;
    if ((host.IsOk() && sub::NormalizeHostPath(book->fileName) == sub::NormalizeHostPath(host.Value())) ||
        EqualNoCase(LastComponent(book->fileName), name)) {
      return id;
    }
  }
  return 0;
}

sub::Book* HostSession::ActiveBookObject() { return host_->FindBook(host_->ActiveBook()); }

Result<mif::ChangeRecord> HostSession::PendingChanges(const sub::Document& document) const {
  mif::Result<mif::ChangeRecord> pending = store_->Inner().PendingChanges(document);
  if (!pending) return Failure{ExitCode::kFailed, "save: " + pending.ErrorMessage()};
  return std::move(pending).Value();
}

std::vector<std::optional<uint32_t>> HostSession::SourceLines(::ObjectId document,
                                                              const std::vector<::ObjectId>& objects) const {
  return store_->Inner().SourceLines(document, objects);
}

// ---- Commands -------------------------------------------------------------------------------------------

// While a command runs, the store reads ahead of a walk of the active book;
// the reads end with the command however it ends. A command run within a
// walk of the command line's own (check's, on each document) leaves that be.
class HostSession::WalkOfActiveBook {
 public:
  explicit WalkOfActiveBook(HostSession& session) : session_(session), own_(!session.walkExpected_) {
    sub::Book* book = session_.ActiveBookObject();
    if (own_ && book != nullptr) session_.ExpectBookWalk(*book);
  }
  ~WalkOfActiveBook() {
    if (own_) session_.EndBookWalk();
  }
  WalkOfActiveBook(const WalkOfActiveBook&) = delete;
  WalkOfActiveBook& operator=(const WalkOfActiveBook&) = delete;

 private:
  HostSession& session_;
  bool own_;
};

void HostSession::RunCommand(int32_t number) {
  if (Probe().beforeCommand) Probe().beforeCommand(*host_);
  commandMarks_ = Mark();
  {
    WalkOfActiveBook walk(*this);
    plugin_->Command(number);
  }
  commandMarks_.reset();
  if (Probe().afterCommand) Probe().afterCommand(*host_);
  store_->EndProgress();
  store_->ForgetClosed();
}

void HostSession::ClientCall(const std::string& text) {
  if (Probe().beforeCommand) Probe().beforeCommand(*host_);
  commandMarks_ = Mark();
  {
    WalkOfActiveBook walk(*this);
    plugin_->ClientCall(text.c_str());
  }
  commandMarks_.reset();
  if (Probe().afterCommand) Probe().afterCommand(*host_);
  store_->EndProgress();
  store_->ForgetClosed();
}

void HostSession::MarkDocuments() { marked_ = host_->OpenDocuments(); }

std::vector<sub::Document*> HostSession::NewUntitledDocuments() {
  std::vector<sub::Document*> result;
  for (::ObjectId id : host_->OpenDocuments()) {
    if (std::find(marked_.begin(), marked_.end(), id) != marked_.end()) continue;
    sub::Document* document = host_->FindDocument(id);
    if (document != nullptr && document->fileName.empty()) result.push_back(document);
  }
  return result;
}

// ---- Answers --------------------------------------------------------------------------------------------

std::optional<int32_t> HostSession::Answer(const sub::Interaction& interaction) {
  bool prompt = interaction.kind == sub::InteractionKind::kPrompt;
  if (!prompt && interaction.alertKind != kAlertConfirm && interaction.alertKind != kAlertQuestion) return 0;  // notes
  if (!answers_.queued.empty() && answers_.queued.front().prompt == prompt) {
    Answers::Queued next = answers_.queued.front();
    answers_.queued.pop_front();
    if (!next.item) return next.value;
    for (size_t i = 0; i < interaction.items.size(); ++i) {
      if (interaction.items[i] == *next.item) return static_cast<int32_t>(i);
    }
    return sub::UserScript::kCancel;
  }
  if (!prompt) {
    if (answers_.confirm) return *answers_.confirm ? 0 : 1;
    if (answers_.interactive) return AskOnTerminal(interaction);
    return std::nullopt;
  }
  if (interaction.text == kListTypeTitle && answers_.listType) return *answers_.listType;
  if (interaction.text == kTagTitle && answers_.tag) {
    for (size_t i = 0; i < interaction.items.size(); ++i) {
      if (interaction.items[i] == *answers_.tag) return static_cast<int32_t>(i);
    }
    tagMissing_ = true;
    return std::nullopt;
  }
  if (answers_.interactive) return AskOnTerminal(interaction);
  return std::nullopt;
}

std::optional<int32_t> HostSession::AskOnTerminal(const sub::Interaction& interaction) {
  std::string line;
  if (interaction.kind == sub::InteractionKind::kAlert) {
    const char* choices = interaction.alertKind == kAlertConfirm ? " [OK: y / Cancel: n] " : " [y/n] ";
    io_.err << HostTextToUtf8(interaction.text) << choices << std::flush;
    if (!std::getline(io_.in, line)) return std::nullopt;
    return (line == "y" || line == "Y" || line == "yes" || line == "ok" || line == "OK") ? 0 : 1;
  }
  io_.err << HostTextToUtf8(interaction.text) << "\n";
  for (size_t i = 0; i < interaction.items.size(); ++i) {
    io_.err << "  " << i + 1 << ") " << HostTextToUtf8(interaction.items[i]) << "\n";
  }
  io_.err << "Number (empty to cancel): " << std::flush;
  if (!std::getline(io_.in, line)) return std::nullopt;
  char* end = nullptr;
  long chosen = std::strtol(line.c_str(), &end, 10);
  if (line.empty() || *end != '\0' || chosen < 1 || static_cast<size_t>(chosen) > interaction.items.size()) {
    return sub::UserScript::kCancel;
  }
  return static_cast<int32_t>(chosen - 1);
}

// ---- Records ----------------------------------------------------------------------------------------------

const std::vector<FileEvent>& HostSession::FileEvents() const { return store_->Events(); }

HostSession::Marks HostSession::Mark() const {
  return {host_->User().Transcript().size(), host_->Faults().size(), store_->Events().size(),
          host_->ConsoleText().size(), host_->FailedCalls().size()};
}

CommandFacts HostSession::Facts(const Marks& since) const {
  CommandFacts facts;
  const auto& events = store_->Events();
  for (size_t i = since.fileEvents; i < events.size(); ++i) {
    if (events[i].kind == FileEvent::Kind::kLoadFailed) facts.fileUnreadable = true;
    if (events[i].kind == FileEvent::Kind::kSaveFailed || events[i].kind == FileEvent::Kind::kWithheld) {
      facts.saveFailed = true;
    }
  }
  facts.stopped = host_->Faults().size() > since.faults;
  const auto& failed = host_->FailedCalls();
  for (size_t i = since.failedCalls; i < failed.size(); ++i) {
    const sub::FailedCall& call = failed[i];
    bool opening = call.method == "OpenDocument" || call.method == "OpenFile";
    // Expected misses and failures the store's own records already tell:
    // a file that is not there (the report file looked for, a book document
    // the plug-in names on the console), one that did not load, a refused save.
    if (!call.injected && opening &&
        (call.status == sub::kStatusFileNotFound || call.status == sub::kStatusFileUnreadable)) {
      continue;
    }
    if (!call.injected && call.method == "SaveDocument" && call.status == sub::kStatusSaveFailed) continue;
    ++facts.failedHostCalls;
  }
  // The plug-in writes to the console only to report problems, a line each.
  const std::string& console = host_->ConsoleText();
  for (size_t at = since.consoleBytes; at < console.size();) {
    size_t end = console.find('\n', at);
    if (end == std::string::npos) end = console.size();
    std::string_view line(console.data() + at, end - at);
    if (line.starts_with("Could not open file:")) {
      ++facts.unopenedFiles;
    } else if (line.starts_with("Could not save file:")) {
      facts.saveFailed = true;
    } else if (!line.empty()) {
      ++facts.problemLines;
    }
    at = end + 1;
  }
  const auto& transcript = host_->User().Transcript();
  for (size_t i = since.interactions; i < transcript.size(); ++i) {
    const sub::Interaction& seen = transcript[i];
    if (seen.kind == sub::InteractionKind::kAlert) {
      if (seen.alertKind == kAlertWarning) facts.warning = true;
      if ((seen.alertKind == kAlertConfirm || seen.alertKind == kAlertQuestion) && seen.answer != 0) {
        facts.declined = true;
      }
    } else if (seen.answer < 0) {
      facts.declined = true;
    }
  }
  return facts;
}

std::vector<std::string> HostSession::TakeTranscript() {
  // Each record carries the host's call count when it was made; the lines
  // come out in that order (records of one call in the order below).
  struct Line {
    uint64_t at;
    int kind;
    std::string text;
  };
  std::vector<Line> lines;
  const auto& transcript = host_->User().Transcript();
  for (; transcriptInteractions_ < transcript.size(); ++transcriptInteractions_) {
    const sub::Interaction& seen = transcript[transcriptInteractions_];
    std::string line;
    if (seen.kind == sub::InteractionKind::kAlert) {
      line = "alert " + std::to_string(seen.alertKind) + ": " + Indented(HostTextToUtf8(seen.text));
      if (seen.alertKind == kAlertConfirm) line += seen.answer == 0 ? " -> OK" : " -> Cancel";
      if (seen.alertKind == kAlertQuestion) line += seen.answer == 0 ? " -> Yes" : " -> No";
    } else {
      line = "prompt: " + HostTextToUtf8(seen.text) + " [";
      for (size_t i = 0; i < seen.items.size(); ++i) line += (i == 0 ? "" : " | ") + HostTextToUtf8(seen.items[i]);
      line += "] -> ";
      line += seen.answer < 0
                  ? std::string("cancel")
                  : std::to_string(seen.answer) + " " + HostTextToUtf8(seen.items[static_cast<size_t>(seen.answer)]);
    }
    if (!seen.expected) line += " (unanswered)";
    lines.push_back({seen.at, 0, std::move(line)});
  }
  const std::string& console = host_->ConsoleText();
  const auto& writes = host_->ConsoleWrites();
  while (transcriptConsole_ < console.size()) {
    size_t end = console.find('\n', transcriptConsole_);
    if (end == std::string::npos) end = console.size();
    // The line happened when the write that began it did.
    uint64_t at = 0;
    for (const auto& write : writes) {
      if (write.offset <= transcriptConsole_) at = write.at;
    }
    lines.push_back({at, 1, "console: " + console.substr(transcriptConsole_, end - transcriptConsole_)});  // UTF-8
    transcriptConsole_ = end + 1;
  }
  for (::ObjectId id : books_) {
    sub::Book* book = host_->FindBook(id);
    if (book == nullptr) continue;
    size_t& seen = transcriptStatus_[id];
    const auto& history = book->StatusHistory();
    std::vector<uint64_t> stamps = host_->StatusStamps(id);
    for (; seen < history.size(); ++seen) {
      uint64_t at = seen < stamps.size() ? stamps[seen] : 0;
      lines.push_back({at, 2, history[seen].empty() ? std::string("status cleared")
                                                    : "status: " + HostTextToUtf8(history[seen])});
    }
  }
  const auto& events = store_->Events();
  for (; transcriptFileEvents_ < events.size(); ++transcriptFileEvents_) {
    const FileEvent& event = events[transcriptFileEvents_];
    switch (event.kind) {
      // Misses are the host's to report (the console's "Could not open file:").
      case FileEvent::Kind::kLoaded:
      case FileEvent::Kind::kNotFound:
        break;
      case FileEvent::Kind::kLoadFailed:
        lines.push_back({event.at, 3, "unreadable: " + event.message});
        break;
      case FileEvent::Kind::kSaved:
        lines.push_back({event.at, 3, "saved: " + LocalPathOf(event.hostPath)});
        break;
      case FileEvent::Kind::kSaveFailed:
        lines.push_back({event.at, 3, "save failed: " + event.message});
        break;
      case FileEvent::Kind::kWithheld:
        lines.push_back({event.at, 3, "not saved: " + LocalPathOf(event.hostPath)});
        break;
      case FileEvent::Kind::kWouldSave: {
        std::string text = "would save: " + LocalPathOf(event.hostPath);
        for (const std::string& change : event.changes) text += "\n  " + change;
        lines.push_back({event.at, 3, std::move(text)});
        break;
      }
    }
  }
  const auto& faults = host_->Faults();
  const auto& faultStamps = host_->FaultStamps();
  for (; transcriptFaults_ < faults.size(); ++transcriptFaults_) {
    uint64_t at = transcriptFaults_ < faultStamps.size() ? faultStamps[transcriptFaults_] : 0;
    lines.push_back({at, 4, "fault: " + faults[transcriptFaults_]});
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Line& a, const Line& b) { return a.at != b.at ? a.at < b.at : a.kind < b.kind; });
  std::vector<std::string> result;
  for (Line& line : lines) {
    size_t start = 0;
    // A would-save entry lists its changes on lines of their own.
    for (size_t end; (end = line.text.find('\n', start)) != std::string::npos; start = end + 1) {
      result.push_back(line.text.substr(start, end - start));
    }
    result.push_back(line.text.substr(start));
  }
  return result;
}

size_t HostSession::InteractionCount() const { return host_->User().Transcript().size(); }
size_t HostSession::FaultCount() const { return host_->Faults().size(); }
size_t HostSession::FileEventCount() const { return store_->Events().size(); }

}  // namespace gw::cli
