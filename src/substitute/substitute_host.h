// The substitute host: an in-process stand-in for the host application that
// implements the host's API interface (IFrameMakerApi) over the document model
// of document_model.h, answers the plug-in's interface queries, plays the user
// from a script of answers and records everything the plug-in does.
//
// Typical end-to-end test:
//
//   gw::substitute::MemoryFileStore store;
//   gw::substitute::SubstituteHost host(store);
//   gw::substitute::Document& doc = host.NewDocument();   // open and active
//   host.User().ExpectAlert("Are you sure you want to convert table formats?", 0);
//
//   auto session = gw::substitute::PluginSession::Load(host, {GRIDWRIGHT_PLUGIN_PATH,
//                                                           GRIDWRIGHT_ICU_DATA_DIR});
//   ASSERT_TRUE(session.ok()) << session.error();
//   session->Initialize(1);
//   session->Command(2);
//   EXPECT_EQ(host.User().Problems(), "");        // no unexpected alert, all answers used
//   EXPECT_EQ(session->Faults().size(), 0u);      // no fatal stop
//   session->Shutdown();                           // Quit, final Release, unload
//   EXPECT_EQ(host.LeakedBlocks(), 0u);
//
// The host owns every object it hands out; the COM objects it gives the
// plug-in count references but are destroyed with the SubstituteHost.
#ifndef GRIDWRIGHT_SUBSTITUTE_SUBSTITUTE_HOST_H
#define GRIDWRIGHT_SUBSTITUTE_SUBSTITUTE_HOST_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/fm_api.h"
#include "substitute/document_model.h"
#include "substitute/file_store.h"
#include "substitute/host_codes.h"
#include "substitute/plugin_session.h"

namespace gw::substitute {

// ---- Configuration ----------------------------------------------------------------------------

struct HostOptions {
  // Property 89, host form.
  std::string homeDirectory = "C:\\Gridwright";
  // The memory-mode interface's answer to SetResultOwnership(1): S_OK means
  // the host keeps ownership of every block it returns (and frees them itself
  // when it is destroyed); anything else leaves the blocks to the plug-in.
  HRESULT memoryModeAnswer = E_FAIL;
  // Indices (0-based, order of kHostInterfaceIids) that the host object does
  // not answer, e.g. kHostApiInterfaceIndex.
  std::set<int> withheldInterfaces;
  // Whether AttachClient keeps (AddRefs) the notifications object, as a host does.
  bool keepNotificationsReference = true;
  // Whether every API call is kept in CallTrace(). Long sessions (the command
  // line on a large book) turn it off so that memory does not grow per call.
  bool recordCalls = true;
};

// ---- Failure injection -------------------------------------------------------------------------

// Makes matching calls of the API interface fail. A call matches when its
// method name is `method` ("*" matches every method) and, if propertyCode is
// set, the call addresses that property code (get/set-property methods),
// object-type code (GetNamedObject) or notification code
// (RequestNotification). The first `skip` matching calls pass; then `times`
// matching calls fail (kEveryTime: all later ones).
// A failure is either a host status (hresult S_OK, status nonzero: the method
// returns S_OK with that status and a zero or NULL result) or a COM error
// (hresult negative: the method returns it and leaves the status alone).
// Every failing call is still recorded in the call trace.
struct FailureRule {
  static constexpr int32_t kEveryTime = -1;
  std::string method;
  std::optional<int32_t> propertyCode;
  int32_t skip = 0;
  int32_t times = 1;
  int32_t status = kStatusInjected;
  HRESULT hresult = S_OK;

  // "the nth call of method from now" (n counts from 1) failing with a status.
  [[nodiscard]] static FailureRule NthCall(std::string method, int32_t n, int32_t status = kStatusInjected);
  // Every call of method, with a status.
  [[nodiscard]] static FailureRule Every(std::string method, int32_t status = kStatusInjected);
  // Every call of method for one property code, with a status.
  [[nodiscard]] static FailureRule ForProperty(std::string method, int32_t code, int32_t status = kStatusInjected);
  // Returns a copy that fails with a COM error instead of a status.
  [[nodiscard]] FailureRule WithHresult(HRESULT error) const;
};

// One API call that did not succeed: the method, its property, object-type
// or notification code (when it has one), the status it answered (0 for a COM
// error) and the HRESULT it returned, and whether a FailureRule made it fail.
struct FailedCall {
  std::string method;
  std::optional<int32_t> code;
  int32_t status = 0;
  HRESULT hresult = S_OK;
  bool injected = false;
};

// ---- The user ----------------------------------------------------------------------------------

enum class InteractionKind { kAlert, kPrompt };

// One alert or scroll-list prompt as the user saw it.
struct Interaction {
  InteractionKind kind = InteractionKind::kAlert;
  std::string text;                 // the alert's message or the prompt's title (FrameRoman)
  int32_t alertKind = 0;            // 1 OK/Cancel, 2 note, 3 warning, 4 Yes/No
  std::vector<std::string> items;   // prompt choices
  int32_t defaultIndex = -1;        // prompt
  int32_t answer = 0;               // alert answer, or chosen index / -1 for cancel
  bool expected = true;             // false: the script had no answer for it
  uint64_t at = 0;                  // the host's call count when it was shown (CallCount)
};

// The script of answers: a queue of expected interactions, consumed in order.
// An interaction that does not match the front of the queue (kind, and text
// when the expectation gives one) is recorded as unexpected and answered "no"
// (alert answer 1) or cancelled (prompt); the queue stays as it was.
class UserScript {
 public:
  static constexpr int32_t kCancel = -1;
  // Expects an alert; text nullopt accepts any text. Answer 0 is OK/Yes.
  UserScript& ExpectAlert(std::optional<std::string> text, int32_t answer = 0);
  UserScript& ExpectAlertOfKind(int32_t alertKind, std::optional<std::string> text, int32_t answer = 0);
  // Expects a scroll-list prompt; chosen is a 0-based index or kCancel.
  UserScript& ExpectPrompt(std::optional<std::string> title, int32_t chosen);
  // When set, notes (kind 2) that the script does not expect are acknowledged
  // and recorded as expected (off by default).
  void AcceptUnscriptedNotes(bool accept) { acceptNotes_ = accept; }
  // Answers what the queue does not (an interactive user, a standing answer):
  // given the interaction as shown (answer not yet set), returns the answer,
  // recorded as expected, or nullopt for the default (declined or cancelled,
  // recorded as unexpected). Empty by default.
  using Responder = std::function<std::optional<int32_t>(const Interaction&)>;
  void SetResponder(Responder responder) { responder_ = std::move(responder); }

  [[nodiscard]] const std::vector<Interaction>& Transcript() const { return transcript_; }
  [[nodiscard]] std::vector<Interaction> Unexpected() const;
  [[nodiscard]] size_t PendingExpectations() const { return queue_.size(); }
  // "" when every interaction was expected and every expectation was used;
  // otherwise one line per problem (gtest: EXPECT_EQ(host.User().Problems(), "")).
  [[nodiscard]] std::string Problems() const;
  // Alert messages in order (all kinds), for quick assertions.
  [[nodiscard]] std::vector<std::string> AlertTexts() const;
  void Clear();

  // Called by the host: stamps the newest interaction with the call count.
  void StampLast(uint64_t at) {
    if (!transcript_.empty()) transcript_.back().at = at;
  }
  // Called by the host: answers one interaction and records it.
  int32_t AnswerAlert(std::string text, int32_t alertKind);
  int32_t AnswerPrompt(std::string title, std::vector<std::string> items, int32_t defaultIndex);

 private:
  struct Expectation {
    InteractionKind kind;
    std::optional<int32_t> alertKind;
    std::optional<std::string> text;
    int32_t answer;
  };
  std::deque<Expectation> queue_;
  std::vector<Interaction> transcript_;
  bool acceptNotes_ = false;
  Responder responder_;
};

// ---- Menus ---------------------------------------------------------------------------------------

struct MenuEntry {
  ObjectId id = 0;
  ObjectKind kind = ObjectKind::kMenu;  // kMenu, kMenuCommand or kMenuItem
  std::string name;
  std::string label;
  std::string shortcut;
  int32_t commandNumber = 0;        // commands
  std::vector<ObjectId> items;      // menus
  ObjectId lastAddedTo = 0;         // the menu this entry was last added to
};

// ---- The host ----------------------------------------------------------------------------------

class SubstituteHost {
 public:
  // The store must outlive the host.
  explicit SubstituteHost(FileStore& store, HostOptions options = {});
  ~SubstituteHost();
  SubstituteHost(const SubstituteHost&) = delete;
  SubstituteHost& operator=(const SubstituteHost&) = delete;

  // ---- The COM face ----
  // The host object given to F_ApiClientInit (answers kHostInterfaceIids).
  // The pointer stays owned by the host; no reference is added.
  [[nodiscard]] IUnknown* HostObject();
  // The API interface itself, for tests that drive it without a plug-in. No
  // reference is added.
  [[nodiscard]] IFrameMakerApi* Api();
  [[nodiscard]] const HostOptions& Options() const { return options_; }
  HostOptions& MutableOptions() { return options_; }
  // References the plug-in holds on the host's COM objects (0 after a clean
  // shutdown).
  [[nodiscard]] int64_t OutstandingReferences() const;
  // The notifications object the plug-in attached (0 references are kept by
  // this accessor), nullptr before AttachClient or after it was released.
  [[nodiscard]] IUnknown* AttachedNotifications() const;
  // Releases the host's references to the notifications object (what the
  // host does at exit). Returns how many references were released.
  int ReleaseNotifications();
  [[nodiscard]] int HeldNotificationReferences() const;
  // Copy of the client description AttachClient received (code -> string).
  [[nodiscard]] const std::map<int32_t, std::string>& ClientDescription() const;
  [[nodiscard]] const std::vector<int32_t>& RequestedNotifications() const;
  [[nodiscard]] void* ModuleHandleReceived() const;
  [[nodiscard]] int32_t AttachFlags() const;

  // ---- Documents ----
  // A new untitled document as NewCustomDocument makes it; opened, made active.
  Document& NewDocument();
  // Adopts a document (e.g. built by a loader) as open; made active.
  Document& AdoptDocument(std::unique_ptr<Document> document);
  // Opens a document from the store as OpenDocument does (the same document
  // when already open); nullptr when it does not load.
  Document* OpenFromStore(std::string_view hostPath);
  [[nodiscard]] Document* FindDocument(ObjectId id);
  [[nodiscard]] Document* FindDocumentByPath(std::string_view hostPath);
  [[nodiscard]] bool IsOpen(ObjectId document) const;
  [[nodiscard]] std::vector<ObjectId> OpenDocuments() const;  // in list order (53, 111)
  void CloseDocument(ObjectId document);
  void SetActiveDocument(ObjectId document);
  [[nodiscard]] ObjectId ActiveDocument() const { return activeDocument_; }
  [[nodiscard]] FileStore& Store() { return store_; }

  // ---- Books ----
  Book& NewBook(std::string fileName);  // made the active book
  [[nodiscard]] Book* FindBook(ObjectId id);
  void SetActiveBook(ObjectId book);
  [[nodiscard]] ObjectId ActiveBook() const { return activeBook_; }

  // ---- Menus ----
  // Pre-creates a menu (as another plug-in would) and returns its id.
  ObjectId CreateMenu(std::string name, std::string label);
  // Pre-creates a command in a menu and returns its id.
  ObjectId CreateCommand(ObjectId menu, std::string name, std::string label, int32_t commandNumber = 0);
  [[nodiscard]] const MenuEntry* FindMenuEntry(ObjectId id) const;
  [[nodiscard]] ObjectId FindMenuEntryByName(std::string_view name) const;
  // The menu tree under a named menu as text lines, two spaces per level:
  // "Tools [KVTools]", "  Tables [Gridwright]", "    List Table Usage (3)",
  // "    ---- [Separator1]". Empty when there is no such menu.
  [[nodiscard]] std::vector<std::string> RenderMenu(std::string_view menuName) const;
  // The command number of a command object, 0 when none.
  [[nodiscard]] int32_t CommandNumberOf(ObjectId command) const;
  // The command object that carries a number (the first defined), 0 when none.
  [[nodiscard]] ObjectId CommandWithNumber(int32_t commandNumber) const;

  // ---- The user and the records ----
  [[nodiscard]] UserScript& User() { return user_; }
  [[nodiscard]] const std::string& ConsoleText() const { return console_; }
  [[nodiscard]] std::vector<std::string> ConsoleLines() const;  // split at line feeds
  // When each console write and each status line of a book happened, as the
  // call count (CallCount) at the time: the records in the order they were made.
  struct ConsoleWriteMark {
    size_t offset = 0;  // where the write begins in ConsoleText()
    uint64_t at = 0;
  };
  [[nodiscard]] const std::vector<ConsoleWriteMark>& ConsoleWrites() const { return consoleWrites_; }
  [[nodiscard]] std::vector<uint64_t> StatusStamps(ObjectId book) const;
  [[nodiscard]] const std::vector<uint64_t>& FaultStamps() const { return faultStamps_; }
  // Every API call of the plug-in, rendered "Name(arg, arg, ...)" with ids in
  // hex (0x15000003), strings quoted, locations {object, offset}.
  [[nodiscard]] const std::vector<std::string>& CallTrace() const { return trace_; }
  [[nodiscard]] std::vector<std::string> CallNames() const;  // method names only
  [[nodiscard]] std::vector<std::string> CallsOf(std::string_view method) const;
  void ClearRecords();  // trace, console, transcript
  void ClearCallTrace() { trace_.clear(); }  // the trace only
  [[nodiscard]] int32_t ScreenUpdating() const { return screenUpdating_; }
  [[nodiscard]] const std::vector<int32_t>& ScreenUpdatingHistory() const { return screenHistory_; }
  [[nodiscard]] const std::vector<std::vector<int32_t>>& CommandCodesRun() const { return commandCodes_; }
  [[nodiscard]] const std::vector<ObjectId>& Redisplays() const { return redisplays_; }
  [[nodiscard]] const std::vector<TextRange>& ScrolledTo() const { return scrolledTo_; }

  // ---- Failure injection ----
  void InjectFailure(FailureRule rule);
  void ClearFailures();
  // Every call that failed since the host was made (injected or not), in
  // order; kept whether or not calls are traced.
  [[nodiscard]] const std::vector<FailedCall>& FailedCalls() const { return failedCalls_; }
  // API calls received since the host was made, traced or not.
  [[nodiscard]] uint64_t CallCount() const { return callCount_; }

  // ---- Host blocks ----
  // Blocks handed to the plug-in so far (CoTaskMemAlloc).
  [[nodiscard]] uint64_t BlocksHandedOut() const { return blocksHandedOut_; }
  // In host-owns-results mode: blocks the host keeps and frees itself at its
  // end (or now, with FreeHostOwnedBlocks).
  [[nodiscard]] size_t HostOwnedBlocks() const { return ownedBlocks_.size(); }
  void FreeHostOwnedBlocks();
  // CoTaskMem blocks live now minus those the host keeps (ought to be 0 when
  // nothing leaked), counted since the host was made.
  [[nodiscard]] int64_t LeakedBlocks() const;
  // Whether the memory-mode interface answered S_OK to the plug-in.
  [[nodiscard]] bool HostOwnsResults() const { return hostOwnsResults_; }

  // Called by PluginSession around notifications.
  void RecordFault(std::string what) {
    faults_.push_back(std::move(what));
    faultStamps_.push_back(callCount_);
  }
  [[nodiscard]] const std::vector<std::string>& Faults() const { return faults_; }

 private:
  class ApiImpl;
  class HostObjectImpl;
  friend class ApiImpl;
  friend class HostObjectImpl;

  // Adds a freshly loaded document to the open list under its path.
  Document* OpenFromStoreLoaded(std::unique_ptr<Document> document, std::string_view hostPath);

  FileStore& store_;
  HostOptions options_;
  std::unique_ptr<ApiImpl> api_;
  std::unique_ptr<HostObjectImpl> hostObject_;

  std::vector<std::unique_ptr<Document>> documents_;  // open, in list order
  std::vector<std::unique_ptr<Book>> books_;
  ObjectId activeDocument_ = 0;
  ObjectId activeBook_ = 0;
  int32_t screenUpdating_ = 1;
  std::vector<int32_t> screenHistory_;

  std::map<ObjectId, MenuEntry> menus_;
  std::vector<ObjectId> menuOrder_;

  UserScript user_;
  std::string console_;
  std::vector<std::string> trace_;
  std::vector<std::vector<int32_t>> commandCodes_;
  std::vector<ObjectId> redisplays_;
  std::vector<TextRange> scrolledTo_;
  std::vector<std::string> faults_;
  std::vector<uint64_t> faultStamps_;
  std::vector<ConsoleWriteMark> consoleWrites_;
  std::map<ObjectId, std::vector<uint64_t>> statusStamps_;

  struct RuleState {
    FailureRule rule;
    int32_t seen = 0;
    int32_t failed = 0;
  };
  std::vector<RuleState> failures_;
  std::vector<FailedCall> failedCalls_;
  uint64_t callCount_ = 0;

  bool hostOwnsResults_ = false;
  std::vector<void*> ownedBlocks_;
  uint64_t blocksHandedOut_ = 0;
  uint64_t liveAtStart_ = 0;

  // The clipboard: rows (every cell with its paragraphs and own properties)
  // or plain text. The ids name the objects the content was first read into.
  struct ClipboardCell {
    std::vector<std::string> texts;
    std::vector<std::string> formats;
    std::vector<ObjectId> paragraphOrigins;
    std::vector<ObjectId> paragraphIds;  // the cut paragraphs, for the tables anchored in them
    ObjectId origin = 0;
    int32_t overrides[6] = {0, 0, 0, 0, 0, 0};
  };
  struct ClipboardRow {
    ObjectId origin = 0;
    std::vector<ClipboardCell> cells;
  };
  std::vector<ClipboardRow> clipboardRows_;
  std::optional<std::string> clipboardText_;
};

// Renders an object id as the trace does: "0x15000003".
[[nodiscard]] std::string FormatId(ObjectId id);

}  // namespace gw::substitute

#endif  // GRIDWRIGHT_SUBSTITUTE_SUBSTITUTE_HOST_H
