// Argument parsing and help texts.
#include "cli/options.h"

#include <charconv>

#include "cli/document_text.h"
#include "platform/version_info.h"

namespace gw::cli {

namespace {

Failure Usage(std::string message) { return Failure{ExitCode::kUsage, std::move(message)}; }

std::optional<int32_t> ListType(const std::string& text) {
  if (text == "empty" || text == "0") return 0;
  if (text == "used" || text == "1") return 1;
  if (text == "all" || text == "2") return 2;
  return std::nullopt;
}

std::optional<int> PositiveNumber(const std::string& text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

constexpr char kCommonOptions[] =
    "Options for every verb:\n"
    "  --yes, --no        answer every OK/Cancel and Yes/No question\n"
    "  --dry-run          show what would change; write nothing\n"
    "  --no-progress      do not show the book's status line\n"
    "  --plugin PATH      the plug-in library (default: $GRIDWRIGHT_PLUGIN, else\n"
    "                     gridwright.so beside this program)\n"
    "  --icu-data DIR     its converter data (default: $GRIDWRIGHT_ICU_DATA, else\n"
    "                     icu_data beside this program)\n";

}  // namespace

std::string ToolHelp() {
  std::string text =
      "Usage: gridwright VERB [options] FILE\n"
      "  or:  gridwright script SCRIPT|-\n"
      "  or:  gridwright help [VERB]\n"
      "  or:  gridwright --version\n"
      "\n"
      "Runs the Gridwright table-format commands on MIF documents (FILE.mif) and\n"
      "books (FILE.book) the way the host runs them. Reports go to standard output,\n"
      "host console lines and messages to standard error.\n"
      "\n"
      "Documents changed by a command on a document are saved over their files (a new\n"
      "file is written beside the old one and renamed over it); commands on a book save\n"
      "each document of the book as they go. Use --dry-run to see the changes first.\n"
      "\n"
      "Verbs:\n";
  for (const Verb& verb : Verbs()) {
    std::string name(verb.name);
    name.resize(24, ' ');
    text += "  " + name + std::string(verb.summary) + "\n";
  }
  text += "  script                  run the steps of a script in one host session\n";
  text += "  version                 print the program's and the plug-in's version (also --version)\n";
  text += "\n";
  text += kCommonOptions;
  text +=
      "\n"
      "Questions the plug-in asks are read from the terminal; when standard input is\n"
      "not a terminal, a question without an answer option is declined.\n"
      "\n"
      "Exit codes: 0 done, 1 a question was declined or unanswered, 2 bad usage,\n"
      "3 an input file could not be read, 4 the command failed.\n";
  return text;
}

std::string VersionText() {
  return std::string("gridwright ") + GW_VERSION_TEXT + "\n" + "plug-in " + GW_PRODUCT_NAME + " " + GW_VERSION_TEXT +
         " (" + GW_FILE_DESCRIPTION + ")\n";
}

std::string ScriptHelp() {
  return "Usage: gridwright script SCRIPT|-\n"
         "\n"
         "Runs the steps of SCRIPT (or of standard input) in one host session, one step a\n"
         "line. Words are separated by blanks, \"double quotes\" keep blanks, # starts a\n"
         "comment. NAME is a file name or path of an open document or book.\n"
         "\n"
         "  open FILE            open a MIF document and make it the active document\n"
         "  open-book FILE       open a MIF book and make it the active book\n"
         "  activate NAME        make an open document or book the active one\n"
         "  close NAME           close an open document without saving it\n"
         "  answer yes|no        answer the next OK/Cancel or Yes/No question\n"
         "  choose N|\"item\"     choose item N (from 1) or the named item in the next list\n"
         "  cancel               cancel the next list prompt\n"
         "  command NAME|NUMBER  run a command by command name, client-call name or number\n"
         "  call TEXT            send a client call; @NAME in it stands for that document's\n"
         "                       or book's id (call SetDocId @chapter1.mif)\n"
         "  select NAME N        put the selection into table N of a document\n"
         "  save [NAME]          save the changed documents (or that one) over their files\n"
         "  write-report FILE    write the newest report document as MIF\n"
         "  print report         print the reports made since the last print report\n"
         "  print summary NAME   print a document's formats and tables (as show does)\n"
         "  print tables NAME    print a document's tables only\n"
         "  print transcript     print the alerts, prompts, console lines, status lines and\n"
         "                       saves since the last print transcript\n"
         "\n"
         "Questions are answered only by answer, choose and cancel; one without an answer\n"
         "is declined. A wrong step stops the script (exit 2, \"script:line: what\").\n";
}

std::string VerbHelp(const Verb& verb) {
  std::string usage = "Usage: gridwright " + std::string(verb.name);
  if (verb.name == "keep-listed") usage += " --keep NAME[,NAME...]|--list LIST";
  if (verb.name == "convert") usage += " --map SOURCE=DEST|--list LIST";
  if (verb.needsFile) usage += verb.bookCommand != 0 ? " [options] FILE.mif|FILE.book" : " [options] FILE.mif";
  std::string text = usage + "\n\n" + std::string(verb.help);
  if (verb.asksListType) text += "  --output FILE.txt   save the list to edit, as plain text (FILE.mif: as MIF)\n";
  if (verb.name == "list-usage" || verb.name == "report")
    text += "  --report-mif FILE.mif   also save the report as MIF\n";
  if (verb.name == "report") text += "  --tag NAME     report only this table format\n";
  if (verb.name == "find-override") text += "  --after N      start after table N (as numbered by show)\n";
  if (verb.changesDocuments && verb.bookCommand != 0) {
    text +=
        "\nOn a document, the document is saved over its file when the command changed it;\n"
        "on a book, every document of the book is saved as the command goes.\n";
  } else if (verb.changesDocuments) {
    text += "\nThe document is saved over its file when the command changed it.\n";
  }
  if (verb.name != "show") text += "\n" + std::string(kCommonOptions);
  return text;
}

Result<JobRequest> ParseArguments(const std::vector<std::string>& arguments) {
  JobRequest request;
  if (arguments.empty()) return Usage("no verb given");
  size_t index = 0;
  auto next = [&](const std::string& option) -> Result<std::string> {
    if (index + 1 >= arguments.size()) return Usage(option + ": needs a value");
    return arguments[++index];
  };
  const std::string& first = arguments[0];
  if (first == "--version" || first == "version") {
    if (arguments.size() > 1) return Usage("unexpected argument \"" + arguments[1] + "\"");
    request.kind = JobRequest::Kind::kVersion;
    return request;
  }
  if (first == "-h" || first == "--help" || first == "help") {
    request.kind = JobRequest::Kind::kHelp;
    if (arguments.size() > 1) {
      request.verb = FindVerb(arguments[1]);
      if (arguments[1] == "script") request.file = "script";
      if (request.verb == nullptr && arguments[1] != "script") return Usage("unknown verb \"" + arguments[1] + "\"");
    }
    return request;
  }
  if (first == "script") {
    request.kind = JobRequest::Kind::kScript;
  } else {
    request.kind = JobRequest::Kind::kVerb;
    request.verb = FindVerb(first);
    if (request.verb == nullptr) return Usage("unknown verb \"" + first + "\"");
  }
  std::vector<std::string> files;
  for (index = 1; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    if (argument == "-h" || argument == "--help") {
      JobRequest help;
      help.kind = JobRequest::Kind::kHelp;
      help.verb = request.verb;
      if (request.kind == JobRequest::Kind::kScript) help.file = "script";
      return help;
    }
    if (argument == "--yes" || argument == "-y") {
      request.answers.confirm = true;
    } else if (argument == "--no" || argument == "-n") {
      request.answers.confirm = false;
    } else if (argument == "--dry-run") {
      request.dryRun = true;
    } else if (argument == "--no-progress") {
      request.progress = false;
    } else if (argument == "--individual") {
      request.form = VerbForm::kIndividual;
    } else if (argument == "--by-tag") {
      request.form = VerbForm::kByTag;
    } else if (argument == "--list-type") {
      Result<std::string> value = next(argument);
      if (!value.IsOk()) return value.GetError();
      request.answers.listType = ListType(value.Value());
      if (!request.answers.listType) return Usage("--list-type: \"" + value.Value() + "\" is not empty, used or all");
    } else if (argument == "--tag") {
      Result<std::string> value = next(argument);
      if (!value.IsOk()) return value.GetError();
      Result<std::string> tag = Utf8ToHostText(value.Value());
      if (!tag.IsOk()) return Usage("--tag \"" + value.Value() + "\": " + tag.GetError().message);
      request.answers.tag = tag.Value();
      request.form = VerbForm::kSingleTag;
    } else if (argument == "--list") {
      Result<std::string> value = next(argument);
      if (!value.IsOk()) return value.GetError();
      request.listFile = value.Value();
    } else if (argument == "--keep" || argument == "--map") {
      Result<std::string> value = next(argument);
      if (!value.IsOk()) return value.GetError();
      bool conversion = argument == "--map";
      if (!request.givenList) request.givenList = PlainList{conversion, {}};
      if (request.givenList->conversion != conversion) return Usage("--keep and --map cannot be used together");
      Status added = conversion ? AddMapping(*request.givenList, value.Value())
                                : AddKeepNames(*request.givenList, value.Value());
      if (!added.IsOk()) return added.GetError();
    } else if (argument == "--output" || argument == "-o" || argument == "--report-mif") {
      Result<std::string> value = next(argument);
      if (!value.IsOk()) return value.GetError();
      request.outputMif = value.Value();
    } else if (argument == "--after") {
      Result<std::string> value = next(argument);
      if (!value.IsOk()) return value.GetError();
      request.after = PositiveNumber(value.Value());
      if (!request.after) return Usage("--after: \"" + value.Value() + "\" is not a table number (1, 2, ...)");
    } else if (argument == "--plugin") {
      Result<std::string> value = next(argument);
      if (!value.IsOk()) return value.GetError();
      request.pluginPath = value.Value();
    } else if (argument == "--icu-data") {
      Result<std::string> value = next(argument);
      if (!value.IsOk()) return value.GetError();
      request.icuDataDir = value.Value();
    } else if (argument == "--") {
      files.insert(files.end(), arguments.begin() + static_cast<std::ptrdiff_t>(index) + 1, arguments.end());
      break;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return Usage("unknown option \"" + argument + "\"");
    } else {
      files.push_back(argument);
    }
  }
  bool needsFile = request.kind == JobRequest::Kind::kScript || request.verb->needsFile;
  if (needsFile && files.empty()) return Usage("no file given");
  if (files.size() > (needsFile ? 1u : 0u)) return Usage("unexpected argument \"" + files.back() + "\"");
  if (!files.empty()) request.file = files.front();
  if (request.kind == JobRequest::Kind::kScript && (request.listFile || request.givenList)) {
    return Usage("--list, --keep and --map are options of keep-listed and convert");
  }
  if (request.kind == JobRequest::Kind::kVerb) {
    const Verb& verb = *request.verb;
    if ((request.form == VerbForm::kIndividual || request.form == VerbForm::kByTag) && verb.name != "list-usage") {
      return Usage("--individual and --by-tag are options of list-usage");
    }
    if (request.form == VerbForm::kSingleTag && verb.name != "report") return Usage("--tag is an option of report");
    if (request.answers.listType && !verb.asksListType) {
      return Usage("--list-type is an option of create-tag-list and create-conversion-list");
    }
    if (request.listFile && !verb.asksList) return Usage("--list is an option of keep-listed and convert");
    if (request.givenList && request.givenList->conversion && verb.name != "convert") {
      return Usage("--map is an option of convert");
    }
    if (request.givenList && !request.givenList->conversion && verb.name != "keep-listed") {
      return Usage("--keep is an option of keep-listed");
    }
    if (request.listFile && request.givenList) {
      return Usage(std::string("--list and ") + (request.givenList->conversion ? "--map" : "--keep") +
                   " cannot be used together: give the list one way");
    }
    if (request.after && verb.name != "find-override") return Usage("--after is an option of find-override");
    if (request.outputMif && !(verb.asksListType || verb.name == "list-usage" || verb.name == "report")) {
      return Usage("--output is an option of the verbs that write a report or a list");
    }
  }
  return request;
}

}  // namespace gw::cli
