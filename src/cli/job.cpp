// The verb runner.
#include "cli/job.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/document_text.h"
#include "cli/check.h"
#include "cli/plain_list.h"
#include "cli/script.h"

namespace gw::cli {

namespace sub = gw::substitute;

namespace {

void PrintFailure(Io& io, const Failure& failure) { io.err << "gridwright: " << failure.message << "\n"; }

// The notes and warnings the command showed, and its console lines.
void PrintMessages(HostSession& session, const HostSession::Marks& since, Io& io) {
  const auto& transcript = session.Host().User().Transcript();
  for (size_t i = since.interactions; i < transcript.size(); ++i) {
    const sub::Interaction& seen = transcript[i];
    if (seen.kind == sub::InteractionKind::kAlert && seen.alertKind == 2) {
      io.out << HostTextToUtf8(seen.text) << "\n";
    } else if (seen.kind == sub::InteractionKind::kAlert && seen.alertKind == 3) {
      io.err << "gridwright: " << HostTextToUtf8(seen.text) << "\n";
    } else if (!seen.expected && seen.kind == sub::InteractionKind::kAlert) {
      io.err << "gridwright: unanswered question: \"" << HostTextToUtf8(seen.text)
             << "\" (declined; answer with --yes or --no)\n";
    } else if (!seen.expected) {
      io.err << "gridwright: unanswered prompt: \"" << HostTextToUtf8(seen.text) << "\" (cancelled"
             << (seen.text == "Choose a list type" ? "; choose with --list-type empty|used|all" : "") << ")\n";
    }
  }
  const std::string& console = session.Host().ConsoleText();
  if (console.size() > since.consoleBytes) {
    // The host's console takes UTF-8 (the plug-in converts its lines).
    std::string text = console.substr(since.consoleBytes);
    io.err << text;
    if (!text.empty() && text.back() != '\n') io.err << "\n";
  }
  const auto& faults = session.Host().Faults();
  for (size_t i = since.faults; i < faults.size(); ++i)
    io.err << "gridwright: the command stopped: " << faults[i] << "\n";
}

// What the walk of a book command saved (or would have saved).
ExitCode PrintFileEvents(HostSession& session, const HostSession::Marks& since, Io& io) {
  ExitCode code = ExitCode::kDone;
  const auto& events = session.FileEvents();
  for (size_t i = since.fileEvents; i < events.size(); ++i) {
    const FileEvent& event = events[i];
    switch (event.kind) {
      case FileEvent::Kind::kSaved:
        if (!event.changes.empty()) {
          io.out << "Changed " << session.LocalPathOf(event.hostPath) << ":\n";
          for (const std::string& change : event.changes) io.out << "  " << HostTextToUtf8(change) << "\n";
        }
        io.err << "saved " << session.LocalPathOf(event.hostPath) << "\n";
        break;
      case FileEvent::Kind::kSaveFailed:
        io.err << "gridwright: save: " << event.message << "\n";
        break;
      case FileEvent::Kind::kWithheld:  // named with the book's other unsaved documents
        break;
      case FileEvent::Kind::kLoadFailed:
        io.err << "gridwright: " << event.message << "\n";
        code = ExitCode::kUnreadable;
        break;
      case FileEvent::Kind::kWouldSave:
        io.out << "Would save " << session.LocalPathOf(event.hostPath)
               << (event.changes.empty() ? " (no changes)" : ":") << "\n";
        for (const std::string& change : event.changes) io.out << "  " << HostTextToUtf8(change) << "\n";
        break;
      case FileEvent::Kind::kLoaded:
      case FileEvent::Kind::kNotFound:
        break;
    }
  }
  return code;
}

// After a changing book command failed: names every document of the book
// that it did not save, so that the user knows which files hold the old
// state (the walk saves each document as it finishes it).
void NameUnsavedDocuments(HostSession& session, sub::Book& book, const HostSession::Marks& since, Io& io) {
  std::vector<std::string> saved;
  const auto& events = session.FileEvents();
  for (size_t i = since.fileEvents; i < events.size(); ++i) {
    if (events[i].kind == FileEvent::Kind::kSaved) saved.push_back(sub::NormalizeHostPath(events[i].hostPath));
  }
  std::vector<::ObjectId> pending(book.TopLevel().rbegin(), book.TopLevel().rend());
  while (!pending.empty()) {
    const sub::BookComponent* component = book.FindComponent(pending.back());
    pending.pop_back();
    if (component == nullptr) continue;
    for (auto child = component->children.rbegin(); child != component->children.rend(); ++child) {
      pending.push_back(*child);
    }
    if (component->kind != sub::kComponentDocument) continue;
    if (std::find(saved.begin(), saved.end(), sub::NormalizeHostPath(component->fileName)) != saved.end()) continue;
    io.err << "gridwright: " << session.LocalPathOf(component->fileName)
           << " was not saved: the command failed before it was done with it\n";
  }
}

// Puts the document's selection in the first cell of its table `number`
// (1-based, document order), as a user clicking into the table does.
Status SelectTable(sub::Document& document, int number) {
  std::vector<::ObjectId> tables = document.TablesInOrder();
  if (number < 1 || static_cast<size_t>(number) > tables.size()) {
    return Failure{ExitCode::kUsage, "the document has no table " + std::to_string(number) + " (it has " +
                                         std::to_string(tables.size()) + ")"};
  }
  ::ObjectId cell = document.CellAt(tables[static_cast<size_t>(number - 1)], 0, 0);
  const sub::Cell* found = document.FindCell(cell);
  if (found == nullptr || found->paragraphs.empty()) {
    return Failure{ExitCode::kUsage, "table " + std::to_string(number) + " has no cell to select"};
  }
  document.cellSelection.reset();
  document.selection = {{found->paragraphs.front(), 0}, {found->paragraphs.front(), 0}};
  return {};
}

// The table the selection is in, as `show` prints it, or "".
std::string SelectedTable(const sub::Document& document) {
  ::ObjectId table = document.TableOfParagraph(document.selection.start.object);
  if (table == 0) return {};
  std::vector<::ObjectId> tables = document.TablesInOrder();
  auto at = std::find(tables.begin(), tables.end(), table);
  if (at == tables.end()) return {};
  return "Found table " + RenderTable(Summarize(document), static_cast<size_t>(at - tables.begin()));
}

ExitCode ShowFile(HostSession& session, const std::string& file, bool book, Io& io) {
  if (!book) {
    Result<sub::Document*> document = session.OpenDocument(file);
    if (!document.IsOk()) {
      PrintFailure(io, document.GetError());
      return document.GetError().code;
    }
    io.out << HostTextToUtf8(RenderSummary(Summarize(*document.Value()), file));
    return ExitCode::kDone;
  }
  Result<sub::Book*> opened = session.OpenBook(file);
  if (!opened.IsOk()) {
    PrintFailure(io, opened.GetError());
    return opened.GetError().code;
  }
  ExitCode code = ExitCode::kDone;
  session.ExpectBookWalk(*opened.Value());
  std::vector<::ObjectId> pending(opened.Value()->TopLevel().rbegin(), opened.Value()->TopLevel().rend());
  while (!pending.empty()) {
    const sub::BookComponent* component = opened.Value()->FindComponent(pending.back());
    pending.pop_back();
    if (component == nullptr) continue;
    for (auto child = component->children.rbegin(); child != component->children.rend(); ++child) {
      pending.push_back(*child);
    }
    if (component->kind != sub::kComponentDocument) continue;
    std::string local = session.LocalPathOf(component->fileName);
    Result<sub::Document*> document = session.OpenDocument(local);
    if (!document.IsOk()) {
      PrintFailure(io, document.GetError());
      code = Worse(code, document.GetError().code);
      continue;
    }
    io.out << HostTextToUtf8(RenderSummary(Summarize(*document.Value()), local)) << "\n";
    session.Host().CloseDocument(document.Value()->Id());
  }
  session.EndBookWalk();
  return code;
}

// Makes the list of keep-listed or convert an open document of the host: the
// list document of --list FILE.mif, or one built from --keep / --map or from a
// plain text --list.
Status ProvideList(const JobRequest& request, HostSession& session) {
  if (request.givenList) {
    BuildListDocument(session.Host(), *request.givenList);
    return {};
  }
  Result<bool> isMif = IsMifFile(*request.listFile);
  if (!isMif.IsOk()) return isMif.GetError();
  if (isMif.Value()) {
    Result<sub::Document*> list = session.OpenDocument(*request.listFile);
    if (!list.IsOk()) return list.GetError();
    return {};
  }
  Result<PlainList> list = ReadListTextFile(*request.listFile, request.verb->name == "convert");
  if (!list.IsOk()) return list.GetError();
  BuildListDocument(session.Host(), list.Value());
  return {};
}

// Whether an output file asks for the plain text form (FILE.txt, any case).
bool IsTextOutput(const std::string& file) {
  std::string extension = std::filesystem::path(file).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".txt";
}

ExitCode RunVerb(const JobRequest& request, HostSession& session, Io& io) {
  const Verb& verb = *request.verb;
  bool book = false;
  if (verb.needsFile) {
    Result<bool> isBook = HostSession::IsBookFile(request.file);
    if (!isBook.IsOk()) {
      PrintFailure(io, isBook.GetError());
      return isBook.GetError().code;
    }
    book = isBook.Value();
  }
  if (verb.name == "show") return ShowFile(session, request.file, book, io);
  if (verb.name == "check") return RunCheckVerb(session, request.file, request.check, io);
  int32_t command = CommandFor(verb, book, request.form);
  if (command == 0) {
    PrintFailure(
        io, {ExitCode::kUsage, std::string(verb.name) + (book ? " does not work on books" : "") +
                                   (request.form != VerbForm::kPlain && !book ? ": that option is for books" : "")});
    return ExitCode::kUsage;
  }
  // The list document is opened (or built) first, so that the target stays
  // the active document.
  if (request.listFile || request.givenList) {
    Status listed = ProvideList(request, session);
    if (!listed.IsOk()) {
      PrintFailure(io, listed.GetError());
      return listed.GetError().code;
    }
  }
  sub::Document* target = nullptr;
  sub::Book* bookObject = nullptr;
  if (verb.needsFile && !book) {
    Result<sub::Document*> document = session.OpenDocument(request.file);
    if (!document.IsOk()) {
      PrintFailure(io, document.GetError());
      return document.GetError().code;
    }
    target = document.Value();
    if (request.after) {
      Status selected = SelectTable(*target, *request.after);
      if (!selected.IsOk()) {
        PrintFailure(io, selected.GetError());
        return selected.GetError().code;
      }
    }
  } else if (book) {
    Result<sub::Book*> opened = session.OpenBook(request.file);
    if (!opened.IsOk()) {
      PrintFailure(io, opened.GetError());
      return opened.GetError().code;
    }
    bookObject = opened.Value();
    // A changing walk must not start on a book it cannot read to the end.
    if (verb.changesDocuments) {
      Status readable = session.CheckBookReadable(*opened.Value());
      if (!readable.IsOk()) {
        PrintFailure(io, readable.GetError());
        io.err << "gridwright: nothing was changed\n";
        return readable.GetError().code;
      }
    }
  }

  HostSession::Marks marks = session.Mark();
  session.MarkDocuments();
  std::optional<TextRange> selectionBefore;
  if (target != nullptr) selectionBefore = target->selection;
  session.RunCommand(command);
  session.SyncSavedFolders();
  PrintMessages(session, marks, io);
  CommandFacts facts = session.Facts(marks);
  if (facts.failedHostCalls > 0) {
    io.err << "gridwright: the command failed: " << facts.failedHostCalls << " host operation"
           << (facts.failedHostCalls == 1 ? "" : "s") << " failed\n";
  }
  Outcome outcome = Decide(facts);
  ExitCode code = outcome.code;
  if (session.TagMissing()) {
    PrintFailure(io, {ExitCode::kUsage, "no table format named \"" + HostTextToUtf8(*request.answers.tag) + "\""});
    return ExitCode::kUsage;
  }

  std::vector<sub::Document*> reports = session.NewUntitledDocuments();
  for (sub::Document* report : reports) io.out << HostTextToUtf8(RenderReport(*report));
  if (request.outputMif) {
    if (reports.empty()) {
      PrintFailure(io,
                   {ExitCode::kFailed, "nothing to write to " + *request.outputMif + ": the command wrote no report"});
      code = Worse(code, ExitCode::kFailed);
    } else {
      Status written;
      if (verb.asksListType && IsTextOutput(*request.outputMif)) {
        Result<std::string> text = ListText(*reports.back());
        written = text.IsOk() ? session.WriteNewText(text.Value(), *request.outputMif)
                              : Status(Failure{text.GetError().code,
                                               "write " + *request.outputMif + ": " + text.GetError().message});
      } else {
        written = session.WriteNewMif(*reports.back(), *request.outputMif);
      }
      if (!written.IsOk()) {
        PrintFailure(io, written.GetError());
        code = Worse(code, written.GetError().code);
      }
    }
  }
  bool selectionMoved = target != nullptr && session.Host().IsOpen(target->Id()) &&
                        (target->selection.start.object != selectionBefore->start.object ||
                         target->selection.end.offset != selectionBefore->end.offset);
  if (verb.name == "find-override" && selectionMoved) {
    io.out << HostTextToUtf8(SelectedTable(*target));
  }
  if (book) {
    code = Worse(code, PrintFileEvents(session, marks, io));
    if (verb.changesDocuments && !outcome.save && !request.dryRun) {
      NameUnsavedDocuments(session, *bookObject, marks, io);
    }
  } else if (target != nullptr && verb.changesDocuments && session.Host().IsOpen(target->Id())) {
    Result<mif::ChangeRecord> pending = session.PendingChanges(*target);
    if (!pending.IsOk()) {
      PrintFailure(io, pending.GetError());
      return Worse(code, pending.GetError().code);
    }
    const SaveDecision decision = DecideSave({!pending.Value().empty(), request.dryRun, code});
    if (decision != SaveDecision::kNothing) {
      io.out << (decision == SaveDecision::kDescribe ? "Would change " : "Changed ") << request.file << ":\n";
      for (const std::string& change : DescribeChanges(pending.Value(), *target))
        io.out << "  " << HostTextToUtf8(change) << "\n";
    }
    if (decision == SaveDecision::kRefuse) {
      io.err << "gridwright: " << request.file << " was not saved because the command failed\n";
    } else if (decision == SaveDecision::kSave) {
      Status saved = session.SaveDocument(*target);
      if (!saved.IsOk()) {
        PrintFailure(io, saved.GetError());
        code = Worse(code, saved.GetError().code);
      }
    }
  }
  return code;
}

}  // namespace

SessionConfig ConfigFor(const JobRequest& request, const Io& io) {
  SessionConfig config = DefaultSessionConfig();
  if (request.pluginPath) config.pluginPath = *request.pluginPath;
  if (request.icuDataDir) config.icuDataDir = *request.icuDataDir;
  config.dryRun = request.dryRun;
  config.showProgress = request.progress && io.errorIsTerminal;
  if (request.jobs) config.jobs = *request.jobs;
  return config;
}

ExitCode RunJob(const JobRequest& request, Io& io) {
  if (request.kind == JobRequest::Kind::kHelp) {
    io.out << (request.verb != nullptr    ? VerbHelp(*request.verb)
               : request.file == "script" ? ScriptHelp()
                                          : ToolHelp());
    return ExitCode::kDone;
  }
  if (request.kind == JobRequest::Kind::kVersion) {
    io.out << VersionText();
    return ExitCode::kDone;
  }
  if (request.kind == JobRequest::Kind::kScript) {
    std::string text;
    if (request.file == "-") {
      std::ostringstream buffer;
      buffer << io.in.rdbuf();
      text = buffer.str();
    } else {
      std::ifstream file(request.file, std::ios::binary);
      if (!file) {
        PrintFailure(io, {ExitCode::kUnreadable, "open " + request.file + ": cannot read the script"});
        return ExitCode::kUnreadable;
      }
      std::ostringstream buffer;
      buffer << file.rdbuf();
      text = buffer.str();
    }
    return RunScript(text, request.file == "-" ? "<stdin>" : request.file, ConfigFor(request, io), io);
  }
  Result<std::unique_ptr<HostSession>> session = HostSession::Start(ConfigFor(request, io), io);
  if (!session.IsOk()) {
    PrintFailure(io, session.GetError());
    return session.GetError().code;
  }
  Answers answers = request.answers;
  answers.interactive = io.inputIsTerminal;
  session.Value()->SetAnswers(answers);
  return RunVerb(request, *session.Value(), io);
}

ExitCode RunCommandLine(const std::vector<std::string>& arguments, Io& io) {
  Result<JobRequest> request = ParseArguments(arguments);
  if (!request.IsOk()) {
    PrintFailure(io, request.GetError());
    io.err << "Try 'gridwright --help'.\n";
    return request.GetError().code;
  }
  return RunJob(request.Value(), io);
}

}  // namespace gw::cli
