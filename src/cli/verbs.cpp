// The verb table.
#include "cli/verbs.h"

#include <array>
#include <charconv>

namespace gw::cli {

namespace {

constexpr std::array kVerbs = {
    Verb{"list-usage", "list which table formats tables use and which are only defined",
         "Writes the List Table Usage report: for a document, the table formats its tables\n"
         "use and those no table uses; for a book, the same over all its documents.\n"
         "  --individual   (books) one section per document\n"
         "  --by-tag       (books) for each used format, the documents that use it\n",
         3, 12, false, false, false, true},
    Verb{"delete-unused", "delete the table formats that no table uses",
         "Deletes every table format that no table uses (for a book: that no table in any\n"
         "document of the book uses). Asks \"Are you sure ...?\" first: answer with --yes.\n",
         4, 13, true, false, false, true},
    Verb{"create-tag-list", "write a list of table formats to keep (edit it, then keep-listed)",
         "Writes a one-column table headed \"Tags to Keep\" listing table formats. Save it\n"
         "with --output keep.txt (one format a line; keep.mif: as MIF), delete the lines of\n"
         "the formats to drop, and hand it to keep-listed --list keep.txt.\n"
         "  --list-type empty|used|all   which formats to list (asked otherwise)\n",
         5, 14, false, false, true, true},
    Verb{"keep-listed", "keep only the named table formats (--keep or --list)",
         "Deletes every table format that the list does not name. Give the list one way:\n"
         "  --keep NAME[,NAME...]  the formats to keep (repeatable)\n"
         "  --list LIST.txt        a text file, one format a line; # starts a comment\n"
         "  --list LIST.mif        a list document: a table headed \"Tags to Keep\"\n"
         "Asks first: answer with --yes.\n",
         6, 15, true, true, false, true},
    Verb{"create-conversion-list", "write a list of formats to convert (fill it, then convert)",
         "Writes a two-column table headed \"Source Tag\" and \"Destination Tag\". Save it\n"
         "with --output convert.txt (\"SOURCE =\" a line; convert.mif: as MIF), write the\n"
         "destinations after the '=', and hand it to convert --list convert.txt.\n"
         "  --list-type empty|used|all   which formats to list (asked otherwise)\n",
         7, 16, false, false, true, true},
    Verb{"convert", "re-tag tables (--map SOURCE=DEST or --list)",
         "Gives every table whose format the list names as a source the destination format\n"
         "beside it, with all its properties. Give the list one way:\n"
         "  --map SOURCE=DEST      one conversion (repeatable)\n"
         "  --list LIST.txt        a text file, \"SOURCE = DEST\" or SOURCE<tab>DEST a line;\n"
         "                         # starts a comment, an empty DEST leaves SOURCE alone\n"
         "  --list LIST.mif        a list document: a table headed \"Source Tag\"\n"
         "Asks first: answer with --yes.\n",
         2, 17, true, true, false, true},
    Verb{"remove-overrides", "give every table its format's properties again",
         "Gives every table the properties of its table format again and clears the\n"
         "override flags of its cells. Asks first: answer with --yes.\n",
         8, 18, true, false, false, true},
    Verb{"find-override", "show the next table that differs from its format",
         "Finds the first table (after table N with --after N) that differs from its\n"
         "format or has cells with overrides, and prints it.\n",
         9, 0, false, false, false, true},
    Verb{"fix-headings", "turn body first rows into heading rows",
         "For each table whose first row is a body row (tables on reference pages are\n"
         "left alone), asks \"Fix this table heading?\" and on yes makes that row a\n"
         "heading row. --yes fixes all, --no none.\n",
         1, 0, true, false, false, true},
    Verb{"report", "describe the properties of table formats",
         "Writes the Table Tag Report: the properties of every table format of the\n"
         "document, or of one with --tag NAME.\n",
         11, 0, false, false, false, true},
    Verb{"about", "show the plug-in's About text", "Prints the plug-in's About text.\n", 1000, 0, false, false, false,
         false},
    Verb{"check", "audit the table formats of a document or book (for CI)",
         "Audits the table formats of a document, or of every document of a book, and\n"
         "writes nothing. It reports formats no table uses (unused), tables whose format\n"
         "is missing (missing-format), tables that differ from their format, property by\n"
         "property, and cells with overrides (override), format names that differ only\n"
         "in letter case (case-variant), body first rows that fix-headings would change\n"
         "(body-first-row), formats defined differently in different documents (drift)\n"
         "and, with --template, formats missing from or differing from the template's\n"
         "(template); with the number of tables using each format.\n"
         "  --template FILE.mif   compare every document's formats with this document's\n"
         "  --format text|json    text grouped by document (default), or one JSON document\n"
         "  --fail-on KINDS       the kinds that fail the run (exit 1): names separated by\n"
         "                        commas (repeatable), all or none (default:\n"
         "                        missing-format,override,drift,template)\n"
         "Exit codes: 0 no finding of a failing kind, 1 findings of a failing kind, 2 bad\n"
         "usage, 3 an input could not be read.\n",
         0, 0, false, false, false, true},
    Verb{"show", "print a document's table formats and tables",
         "Prints the document's table formats with their properties and its tables with\n"
         "their format, rows and whether they override the format. Changes nothing.\n",
         0, 0, false, false, false, true},
};

constexpr std::array kPluginCommands = {
    PluginCommand{1, "FixTableHeadingsDoc", "", false},
    PluginCommand{2, "ConvertTablesInDoc", "ConvertTablesDoc", false},
    PluginCommand{3, "ListTableUsage", "ListTableUsage", false},
    PluginCommand{4, "DeleteUnusedTables", "DeleteUnusedTables", false},
    PluginCommand{5, "CreateTableList", "CreateTableList", false},
    PluginCommand{6, "RemoveNonlistTables", "RemoveNonlistTables", false},
    PluginCommand{7, "CreateTableConversionDocument", "CreateConversionDocument", false},
    PluginCommand{8, "RemoveTableOverrides", "RemoveOverrides", false},
    PluginCommand{9, "FindNextTableOverride", "FindNextOverride", false},
    PluginCommand{11, "GenerateTableTagReport", "GenerateTableTagReport", false},
    PluginCommand{12, "ListTableUsageBook", "ListTableUsageBook", true},
    PluginCommand{13, "DeleteUnusedTablesBook", "DeleteUnusedTablesBook", true},
    PluginCommand{14, "CreateTableListBook", "CreateTableListBook", true},
    PluginCommand{15, "RemoveNonlistTablesBook", "RemoveNonlistTablesBook", true},
    PluginCommand{16, "CreateTableConversionDocumentBook", "CreateConversionDocumentBook", true},
    PluginCommand{17, "ConvertTablesBook", "ConvertTablesBook", true},
    PluginCommand{18, "RemoveTableOverridesBook", "RemoveOverridesBook", true},
    PluginCommand{19, "GenerateTableTagReportSingle", "GenerateTableTagReportSingle", false},
    PluginCommand{20, "ListTableUsageBookIndFiles", "ListTableUsageBookIndividual", true},
    PluginCommand{21, "ListTableUsageBookByFormat", "ListTableUsageBookByTag", true},
    PluginCommand{1000, "GridwrightAbout", "GridwrightAbout", false},
};

}  // namespace

std::span<const Verb> Verbs() { return kVerbs; }

const Verb* FindVerb(std::string_view name) {
  for (const Verb& verb : kVerbs) {
    if (verb.name == name) return &verb;
  }
  return nullptr;
}

int32_t CommandFor(const Verb& verb, bool book, VerbForm form) {
  if (verb.name == "about") return 1000;
  if (book) {
    if (verb.name == "list-usage" && form == VerbForm::kIndividual) return 20;
    if (verb.name == "list-usage" && form == VerbForm::kByTag) return 21;
    if (form != VerbForm::kPlain) return 0;
    return verb.bookCommand;
  }
  if (verb.name == "report" && form == VerbForm::kSingleTag) return 19;
  if (form != VerbForm::kPlain) return 0;
  return verb.documentCommand;
}

std::span<const PluginCommand> PluginCommands() { return kPluginCommands; }

const PluginCommand* FindPluginCommand(std::string_view nameOrNumber) {
  int32_t number = 0;
  auto [end, error] = std::from_chars(nameOrNumber.data(), nameOrNumber.data() + nameOrNumber.size(), number);
  bool isNumber = error == std::errc() && end == nameOrNumber.data() + nameOrNumber.size();
  for (const PluginCommand& command : kPluginCommands) {
    if (isNumber
            ? command.number == number
            : (command.name == nameOrNumber || (!command.clientCall.empty() && command.clientCall == nameOrNumber))) {
      return &command;
    }
  }
  return nullptr;
}

}  // namespace gw::cli
