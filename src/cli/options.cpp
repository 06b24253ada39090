// Argument parsing and help texts.
#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdlib>

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
    "                     icu_data beside this program)\n"
    "  --jobs N           read a book's documents on N threads: the next ones are\n"
    "                     read while the command works on one (default:\n"
    "                     $GRIDWRIGHT_JOBS, else 2 on a machine with two or more\n"
    "                     hardware threads; 1 reads on one thread)\n";

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
      "Exit codes: 0 done, 1 a question was declined or unanswered (check: findings\n"
      "of a failing kind), 2 bad usage, 3 an input file could not be read, 4 the\n"
      "command failed.\n";
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
         "  print selection NAME print which table a document's selection is in\n"
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
  if (verb.needsFile) {
    usage += verb.bookCommand != 0 || verb.name == "check" ? " [options] FILE.mif|FILE.book" : " [options] FILE.mif";
  }
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
  if (verb.name == "check") {
    text +=
        "\n  --plugin PATH, --icu-data DIR   the plug-in and its converter data, as for every verb\n"
        "  --jobs N                        threads that read a book's documents, as for every verb\n";
  } else if (verb.name != "show") {
    text += "\n" + std::string(kCommonOptions);
  }
  return text;
}

namespace {

// Every option of the command line. They are accepted after any verb and
// checked against it afterwards, so that an option of another verb is named
// as such ("--tag is an option of report") rather than as unknown.
struct ParsedOptions {
  bool yes = false, no = false, dryRun = false, noProgress = false, individual = false, byTag = false;
  std::vector<std::string> listType, tag, list, output, after, plugin, icuData, templateFile, format, failOn, jobs;
  // --keep and --map in the order given, each with its option name.
  std::vector<std::pair<std::string, std::string>> given;
};

void AddOptions(CLI::App& app, ParsedOptions& parsed) {
  app.add_flag("-y,--yes", parsed.yes);
  app.add_flag("-n,--no", parsed.no);
  app.add_flag("--dry-run", parsed.dryRun);
  app.add_flag("--no-progress", parsed.noProgress);
  app.add_flag("--individual", parsed.individual);
  app.add_flag("--by-tag", parsed.byTag);
  // Single-valued options keep every occurrence; the last one counts, as before.
  auto single = [&](const std::string& names, std::vector<std::string>& into) {
    app.add_option(names, into)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  };
  single("--list-type", parsed.listType);
  single("--tag", parsed.tag);
  single("--list", parsed.list);
  single("-o,--output,--report-mif", parsed.output);
  single("--after", parsed.after);
  single("--plugin", parsed.plugin);
  single("--icu-data", parsed.icuData);
  single("--jobs", parsed.jobs);
  single("--template", parsed.templateFile);
  single("--format", parsed.format);
  single("--fail-on", parsed.failOn);
  for (const char* name : {"--keep", "--map"}) {
    app.add_option_function<std::string>(
           name, [&parsed, name](const std::string& value) { parsed.given.emplace_back(name, value); })
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->trigger_on_parse();
  }
}

bool IsHelp(const std::string& argument) { return argument == "-h" || argument == "--help"; }

// Turns the parser's complaint about an option without its value into "--tag:
// needs a value"; CLI11 words it "--tag: 1 required TEXT missing".
std::string NeedsValue(const CLI::ParseError& error) {
  std::string what = error.what();
  size_t colon = what.find(':');
  if (colon == std::string::npos || !what.starts_with("-")) return what;
  return what.substr(0, colon) + ": needs a value";
}

}  // namespace

Result<JobRequest> ParseArguments(const std::vector<std::string>& arguments) {
  JobRequest request;
  if (arguments.empty()) return Usage("no verb given");
  const std::string& first = arguments[0];
  if (first == "--version" || first == "version") {
    if (arguments.size() > 1) return Usage("unexpected argument \"" + arguments[1] + "\"");
    request.kind = JobRequest::Kind::kVersion;
    return request;
  }
  if (IsHelp(first) || first == "help") {
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
  // Everything after "--" is a file; before it, --help anywhere asks for the verb's help.
  auto dashes = std::find(arguments.begin() + 1, arguments.end(), std::string("--"));
  std::vector<std::string> words(arguments.begin() + 1, dashes);
  if (std::any_of(words.begin(), words.end(), IsHelp)) {
    JobRequest help;
    help.kind = JobRequest::Kind::kHelp;
    help.verb = request.verb;
    if (request.kind == JobRequest::Kind::kScript) help.file = "script";
    return help;
  }

  ParsedOptions parsed;
  std::vector<std::string> files;
  CLI::App app{"gridwright"};
  app.set_help_flag();
  app.allow_extras();
  AddOptions(app, parsed);
  app.add_option("files", files);
  try {
    std::vector<std::string> reversed(words.rbegin(), words.rend());  // CLI11 takes them last first
    app.parse(reversed);
  } catch (const CLI::ArgumentMismatch& error) {
    return Usage(NeedsValue(error));
  } catch (const CLI::ParseError& error) {
    return Usage(error.what());
  }
  for (const std::string& extra : app.remaining()) {
    if (extra.size() > 1 && extra[0] == '-') return Usage("unknown option \"" + extra + "\"");
  }
  if (dashes != arguments.end()) files.insert(files.end(), dashes + 1, arguments.end());

  // The options' values, checked as the parser cannot.
  if (parsed.yes) request.answers.confirm = true;
  if (parsed.no) request.answers.confirm = false;
  if (parsed.yes && parsed.no) {
    // The later one counts.
    auto yes = std::find_if(words.rbegin(), words.rend(), [](const std::string& w) { return w == "--yes" || w == "-y"; });
    auto no = std::find_if(words.rbegin(), words.rend(), [](const std::string& w) { return w == "--no" || w == "-n"; });
    request.answers.confirm = yes < no;
  }
  request.dryRun = parsed.dryRun;
  request.progress = !parsed.noProgress;
  if (parsed.individual) request.form = VerbForm::kIndividual;
  if (parsed.byTag) request.form = VerbForm::kByTag;
  if (!parsed.listType.empty()) {
    request.answers.listType = ListType(parsed.listType.back());
    if (!request.answers.listType)
      return Usage("--list-type: \"" + parsed.listType.back() + "\" is not empty, used or all");
  }
  if (!parsed.tag.empty()) {
    Result<std::string> tag = Utf8ToHostText(parsed.tag.back());
    if (!tag.IsOk()) return Usage("--tag \"" + parsed.tag.back() + "\": " + tag.GetError().message);
    request.answers.tag = tag.Value();
    request.form = VerbForm::kSingleTag;
  }
  if (!parsed.list.empty()) request.listFile = parsed.list.back();
  for (const auto& [option, value] : parsed.given) {
    bool conversion = option == "--map";
    if (!request.givenList) request.givenList = PlainList{conversion, {}};
    if (request.givenList->conversion != conversion) return Usage("--keep and --map cannot be used together");
    Status added =
        conversion ? AddMapping(*request.givenList, value) : AddKeepNames(*request.givenList, value);
    if (!added.IsOk()) return added.GetError();
  }
  if (!parsed.output.empty()) request.outputMif = parsed.output.back();
  if (!parsed.after.empty()) {
    request.after = PositiveNumber(parsed.after.back());
    if (!request.after) return Usage("--after: \"" + parsed.after.back() + "\" is not a table number (1, 2, ...)");
  }
  if (!parsed.plugin.empty()) request.pluginPath = parsed.plugin.back();
  if (!parsed.icuData.empty()) request.icuDataDir = parsed.icuData.back();
  if (!parsed.jobs.empty()) {
    request.jobs = JobCount(parsed.jobs.back());
    if (!request.jobs) {
      return Usage("--jobs: \"" + parsed.jobs.back() + "\" is not a number of jobs from 1 to " +
                   std::to_string(kMaxJobs));
    }
  } else if (const char* jobs = std::getenv("GRIDWRIGHT_JOBS"); jobs != nullptr && *jobs != '\0') {
    request.jobs = JobCount(jobs);
    if (!request.jobs) {
      return Usage("GRIDWRIGHT_JOBS: \"" + std::string(jobs) + "\" is not a number of jobs from 1 to " +
                   std::to_string(kMaxJobs));
    }
  }
  if (!parsed.templateFile.empty()) request.check.templateFile = parsed.templateFile.back();
  if (!parsed.format.empty()) {
    if (parsed.format.back() != "text" && parsed.format.back() != "json")
      return Usage("--format: \"" + parsed.format.back() + "\" is not text or json");
    request.check.json = parsed.format.back() == "json";
  }
  if (!parsed.failOn.empty()) {
    // Repeated --fail-on options add up.
    request.check.failOn.clear();
    for (const std::string& value : parsed.failOn) {
      Result<std::set<FindingKind>> kinds = ParseFailOn(value);
      if (!kinds.IsOk()) return kinds.GetError();
      request.check.failOn.insert(kinds.Value().begin(), kinds.Value().end());
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
    if ((!parsed.templateFile.empty() || !parsed.format.empty() || !parsed.failOn.empty()) && verb.name != "check") {
      return Usage("--template, --format and --fail-on are options of check");
    }
  }
  return request;
}

}  // namespace gw::cli
