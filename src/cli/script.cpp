// The script runner.
#include "cli/script.h"

#include <algorithm>
#include <charconv>
#include <iostream>

#include "cli/document_text.h"
#include "cli/verbs.h"

namespace gw::cli {

namespace sub = gw::substitute;

namespace {

// Splits a line into words: blanks separate, "..." keeps blanks, # outside
// quotes ends the line. Fails on an unterminated quote.
Result<std::vector<std::string>> Words(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '#') break;
    std::string word;
    if (c == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string_view::npos) return Failure{ExitCode::kUsage, "unterminated quote"};
      word = std::string(line.substr(i + 1, end - i - 1));
      i = end + 1;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::optional<int> Number(const std::string& text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

class ScriptRunner {
 public:
  ScriptRunner(HostSession& session, Io& io, std::string scriptName)
      : session_(session), io_(io), scriptName_(std::move(scriptName)) {}

  ExitCode Run(std::string_view text) {
    size_t lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      ++lineNumber;
      std::string_view line = text.substr(start, end - start);
      start = end + 1;
      Result<std::vector<std::string>> words = Words(line);
      Status done =
          words.IsOk() ? (words.Value().empty() ? Status() : Step(words.Value())) : Status(words.GetError());
      if (!done.IsOk()) {
        io_.err << scriptName_ << ":" << lineNumber << ": " << done.GetError().message << "\n";
        return done.GetError().code;
      }
      if (end == text.size()) break;
    }
    if (!session_.MutableAnswers().queued.empty()) {
      io_.err << scriptName_ << ": " << session_.MutableAnswers().queued.size() << " queued answer(s) were not used\n";
    }
    return result_;
  }

 private:
  static Failure Usage(std::string message) { return Failure{ExitCode::kUsage, std::move(message)}; }

  Status NeedArguments(const std::vector<std::string>& words, size_t least, size_t most, const char* form) {
    if (words.size() - 1 < least || words.size() - 1 > most) return Usage("usage: " + std::string(form));
    return {};
  }

  Result<sub::Document*> OpenDocumentNamed(const std::string& name) {
    sub::Document* document = session_.FindOpenDocument(name);
    if (document == nullptr) return Usage("no open document \"" + name + "\"");
    return document;
  }

  // Runs a plug-in notification and folds what it ended with into the result.
  template <typename Send>
  void Deliver(Send&& send) {
    HostSession::Marks marks = session_.Mark();
    session_.MarkDocuments();
    send();
    for (sub::Document* report : session_.NewUntitledDocuments()) {
      if (std::find(reports_.begin(), reports_.end(), report->Id()) == reports_.end()) reports_.push_back(report->Id());
    }
    result_ = Worse(result_, session_.Judge(marks));
  }

  Status Step(const std::vector<std::string>& words) {
    const std::string& step = words[0];
    if (step == "open" || step == "open-book") {
      if (Status s = NeedArguments(words, 1, 1, "open FILE"); !s.IsOk()) return s;
      if (step == "open") {
        Result<sub::Document*> opened = session_.OpenDocument(words[1]);
        if (!opened.IsOk()) return opened.GetError();
        return {};
      }
      Result<sub::Book*> opened = session_.OpenBook(words[1]);
      if (!opened.IsOk()) return opened.GetError();
      return {};
    }
    if (step == "activate") {
      if (Status s = NeedArguments(words, 1, 1, "activate NAME"); !s.IsOk()) return s;
      if (::ObjectId book = session_.FindBookId(words[1]); book != 0) {
        session_.Host().SetActiveBook(book);
        return {};
      }
      Result<sub::Document*> document = OpenDocumentNamed(words[1]);
      if (!document.IsOk()) return document.GetError();
      session_.Host().SetActiveDocument(document.Value()->Id());
      return {};
    }
    if (step == "close") {
      if (Status s = NeedArguments(words, 1, 1, "close NAME"); !s.IsOk()) return s;
      Result<sub::Document*> document = OpenDocumentNamed(words[1]);
      if (!document.IsOk()) return document.GetError();
      session_.Host().CloseDocument(document.Value()->Id());
      return {};
    }
    if (step == "answer") {
      if (Status s = NeedArguments(words, 1, 1, "answer yes|no"); !s.IsOk()) return s;
      const std::string& word = words[1];
      bool yes = word == "yes" || word == "ok" || word == "y";
      bool no = word == "no" || word == "cancel" || word == "n";
      if (!yes && !no) return Usage("answer: \"" + word + "\" is not yes, no, ok or cancel");
      session_.MutableAnswers().queued.push_back({false, yes ? 0 : 1, std::nullopt});
      return {};
    }
    if (step == "choose") {
      if (Status s = NeedArguments(words, 1, 1, "choose N|\"item\""); !s.IsOk()) return s;
      if (std::optional<int> number = Number(words[1])) {
        if (*number < 1) return Usage("choose: items count from 1");
        session_.MutableAnswers().queued.push_back({true, *number - 1, std::nullopt});
      } else {
        session_.MutableAnswers().queued.push_back({true, 0, words[1]});
      }
      return {};
    }
    if (step == "cancel") {
      if (Status s = NeedArguments(words, 0, 0, "cancel"); !s.IsOk()) return s;
      session_.MutableAnswers().queued.push_back({true, sub::UserScript::kCancel, std::nullopt});
      return {};
    }
    if (step == "command") {
      if (Status s = NeedArguments(words, 1, 1, "command NAME|NUMBER"); !s.IsOk()) return s;
      const PluginCommand* command = FindPluginCommand(words[1]);
      int32_t number = 0;
      if (command != nullptr) {
        number = command->number;
      } else if (std::optional<int> raw = Number(words[1])) {
        number = *raw;  // numbers the plug-in does not know are delivered too
      } else {
        return Usage("command: no command named \"" + words[1] + "\"");
      }
      Deliver([&] { session_.RunCommand(number); });
      return {};
    }
    if (step == "call") {
      if (words.size() < 2) return Usage("usage: call TEXT");
      // @NAME stands for the id of an open document or book, also inside a
      // quoted call text ("SetDocId @ch1.mif"); the client call splits at spaces.
      std::string text;
      for (size_t i = 1; i < words.size(); ++i) {
        std::string word;
        size_t start = 0;
        while (start <= words[i].size()) {
          size_t end = words[i].find(' ', start);
          if (end == std::string::npos) end = words[i].size();
          std::string piece = words[i].substr(start, end - start);
          if (piece.size() > 1 && piece[0] == '@') {
            std::string name = piece.substr(1);
            ::ObjectId id = session_.FindBookId(name);
            if (id == 0) {
              sub::Document* document = session_.FindOpenDocument(name);
              if (document == nullptr) return Usage("call: no open document or book \"" + name + "\"");
              id = document->Id();
            }
            piece = std::to_string(id);
          }
          word += (start == 0 ? "" : " ") + piece;
          start = end + 1;
        }
        text += (i == 1 ? "" : " ") + word;
      }
      Deliver([&] { session_.ClientCall(text); });
      return {};
    }
    if (step == "select") {
      if (Status s = NeedArguments(words, 2, 2, "select NAME N"); !s.IsOk()) return s;
      Result<sub::Document*> document = OpenDocumentNamed(words[1]);
      if (!document.IsOk()) return document.GetError();
      std::optional<int> number = Number(words[2]);
      std::vector<::ObjectId> tables = document.Value()->TablesInOrder();
      if (!number || *number < 1 || static_cast<size_t>(*number) > tables.size()) {
        return Usage("select: \"" + words[2] + "\" is not a table of " + words[1] + " (it has " +
                     std::to_string(tables.size()) + ")");
      }
      sub::Document& target = *document.Value();
      ::ObjectId cell = target.CellAt(tables[static_cast<size_t>(*number - 1)], 0, 0);
      const sub::Cell* found = target.FindCell(cell);
      if (found == nullptr || found->paragraphs.empty()) return Usage("select: the table has no cell");
      target.cellSelection.reset();
      target.selection = {{found->paragraphs.front(), 0}, {found->paragraphs.front(), 0}};
      return {};
    }
    if (step == "save") {
      if (Status s = NeedArguments(words, 0, 1, "save [NAME]"); !s.IsOk()) return s;
      std::vector<sub::Document*> targets;
      if (words.size() == 2) {
        Result<sub::Document*> document = OpenDocumentNamed(words[1]);
        if (!document.IsOk()) return document.GetError();
        targets.push_back(document.Value());
      } else {
        for (::ObjectId id : session_.Host().OpenDocuments()) {
          sub::Document* document = session_.Host().FindDocument(id);
          if (document == nullptr || document->fileName.empty()) continue;
          Result<mif::ChangeRecord> pending = session_.PendingChanges(*document);
          if (!pending.IsOk()) return pending.GetError();
          if (DecideSave({!pending.Value().empty(), false, ExitCode::kDone}) == SaveDecision::kSave)
            targets.push_back(document);
        }
      }
      for (sub::Document* document : targets) {
        if (document->fileName.empty()) return Usage("save: the document is untitled; use write-report FILE");
        Status saved = session_.SaveDocument(*document);
        if (!saved.IsOk()) {
          io_.err << "gridwright: " << saved.GetError().message << "\n";
          result_ = Worse(result_, saved.GetError().code);
        }
      }
      return {};
    }
    if (step == "write-report") {
      if (Status s = NeedArguments(words, 1, 1, "write-report FILE"); !s.IsOk()) return s;
      sub::Document* report = reports_.empty() ? nullptr : session_.Host().FindDocument(reports_.back());
      if (report == nullptr) return Usage("write-report: no report document is open");
      Status written = session_.WriteNewMif(*report, words[1]);
      if (!written.IsOk()) return written;
      return {};
    }
    if (step == "print") {
      if (words.size() < 2) return Usage("usage: print report|summary NAME|tables NAME|selection NAME|transcript");
      if (words[1] == "report" && words.size() == 2) {
        for (; printedReports_ < reports_.size(); ++printedReports_) {
          sub::Document* report = session_.Host().FindDocument(reports_[printedReports_]);
          if (report != nullptr) io_.out << HostTextToUtf8(RenderReport(*report));
        }
        return {};
      }
      if (words[1] == "summary" && words.size() == 3) {
        Result<sub::Document*> document = OpenDocumentNamed(words[2]);
        if (!document.IsOk()) return document.GetError();
        io_.out << HostTextToUtf8(RenderSummary(Summarize(*document.Value()), words[2]));
        return {};
      }
      if (words[1] == "tables" && words.size() == 3) {
        Result<sub::Document*> document = OpenDocumentNamed(words[2]);
        if (!document.IsOk()) return document.GetError();
        DocumentSummary summary = Summarize(*document.Value());
        io_.out << words[2] << ": " << summary.tables.size() << " tables\n";
        for (size_t i = 0; i < summary.tables.size(); ++i) io_.out << "  " << HostTextToUtf8(RenderTable(summary, i));
        return {};
      }
      if (words[1] == "selection" && words.size() == 3) {
        // The table the selection is in (where Find Next Override stopped).
        Result<sub::Document*> document = OpenDocumentNamed(words[2]);
        if (!document.IsOk()) return document.GetError();
        const sub::Document& shown = *document.Value();
        ::ObjectId table = shown.TableOfParagraph(shown.selection.start.object);
        std::vector<::ObjectId> tables = shown.TablesInOrder();
        auto at = std::find(tables.begin(), tables.end(), table);
        if (table == 0 || at == tables.end()) {
          io_.out << words[2] << ": the selection is in no table\n";
        } else {
          io_.out << words[2] << ": the selection is in table " << (at - tables.begin()) + 1 << " of "
                  << tables.size() << " (\"" << HostTextToUtf8(shown.FindTable(table)->tag) << "\")\n";
        }
        return {};
      }
      if (words[1] == "transcript" && words.size() == 2) {
        for (const std::string& line : session_.TakeTranscript()) io_.out << line << "\n";
        return {};
      }
      return Usage("usage: print report|summary NAME|tables NAME|selection NAME|transcript");
    }
    return Usage("unknown step \"" + step + "\"");
  }

  HostSession& session_;
  Io& io_;
  std::string scriptName_;
  ExitCode result_ = ExitCode::kDone;
  std::vector<::ObjectId> reports_;
  size_t printedReports_ = 0;
};

}  // namespace

ExitCode RunScript(std::string_view text, const std::string& scriptName, const SessionConfig& config, Io& io) {
  Result<std::unique_ptr<HostSession>> session = HostSession::Start(config, io);
  if (!session.IsOk()) {
    io.err << "gridwright: " << session.GetError().message << "\n";
    return session.GetError().code;
  }
  // Scripts answer with answer/choose steps only; nothing is read from the terminal.
  ScriptRunner runner(*session.Value(), io, scriptName);
  return runner.Run(text);
}

}  // namespace gw::cli
