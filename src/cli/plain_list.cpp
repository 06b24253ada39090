// Plain lists: parsing, list documents, and the text form of written lists.
#include "cli/plain_list.h"

#include <fstream>
#include <sstream>

#include "cli/document_text.h"
#include "mif/mif_reader.h"

namespace gw::cli {

namespace sub = gw::substitute;

namespace {

// The first cells of the plug-in's list tables, and the width it gives their
// columns.
// A list of format names is small; a larger file is not a list.
constexpr size_t kMaxListFileBytes = size_t{16} << 20;
constexpr char kTagListHeader[] = "Tags to Keep";
constexpr char kSourceHeader[] = "Source Tag";
constexpr char kDestinationHeader[] = "Destination Tag";
constexpr char kListFormat[] = "Format A";
constexpr ::Metric kListColumnWidth = 144 * 65536;

Failure Usage(std::string message) { return Failure{ExitCode::kUsage, std::move(message)}; }

std::string_view Trimmed(std::string_view text) {
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(" \t");
  return text.substr(start, end - start + 1);
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// One name in the host encoding; the failure names the name and where it came from.
Result<std::string> HostName(std::string_view name, const std::string& where) {
  Result<std::string> converted = Utf8ToHostText(name);
  if (converted.IsOk()) return converted;
  // Bytes that are not UTF-8 are not echoed to the terminal.
  bool decodes = converted.GetError().message != "not valid UTF-8";
  return Usage(where + ": " + (decodes ? Quoted(name) + ": " : "") + converted.GetError().message);
}

// Splits a conversion line or --map value into source and destination: at
// the first tab when there is one (names may then hold '='), else at the
// first '='. Nothing when there is neither.
std::optional<std::pair<std::string_view, std::string_view>> SplitPair(std::string_view text, bool allowTab) {
  size_t cut = allowTab ? text.find('\t') : std::string_view::npos;
  if (cut == std::string_view::npos) cut = text.find('=');
  if (cut == std::string_view::npos) return std::nullopt;
  return std::make_pair(Trimmed(text.substr(0, cut)), Trimmed(text.substr(cut + 1)));
}

// Why a list name cannot go into the text form unchanged; "" when it can.
std::string UnwritableBecause(std::string_view name, bool conversionSource) {
  if (Trimmed(name) != name) return "blanks at its start or end";
  if (name.starts_with('#')) return "a leading '#'";
  if (conversionSource && name.find('=') != std::string_view::npos) return "an '='";
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "a control character";
  }
  if (HostTextToUtf8(name).find("\xEF\xBF\xBD") != std::string::npos) return "a byte without a character";
  return {};
}

}  // namespace

// ---- Lists from the command line and from text files ----------------------------------------------

Status AddKeepNames(PlainList& list, std::string_view value) {
  const std::string where = "--keep " + Quoted(value);
  size_t start = 0;
  while (true) {
    size_t comma = value.find(',', start);
    std::string_view name = Trimmed(value.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (name.empty()) return Usage(where + ": an empty table format name");
    Result<std::string> host = HostName(name, "--keep");
    if (!host.IsOk()) return host.GetError();
    list.entries.push_back({std::move(host.Value()), {}});
    if (comma == std::string_view::npos) return {};
    start = comma + 1;
  }
}

Status AddMapping(PlainList& list, std::string_view value) {
  const std::string where = "--map " + Quoted(value);
  auto pair = SplitPair(value, false);
  if (!pair) return Usage(where + ": expected SOURCE=DEST");
  if (pair->first.empty()) return Usage(where + ": no source table format before '='");
  if (pair->second.empty()) return Usage(where + ": no destination table format after '='");
  Result<std::string> source = HostName(pair->first, "--map");
  if (!source.IsOk()) return source.GetError();
  Result<std::string> destination = HostName(pair->second, "--map");
  if (!destination.IsOk()) return destination.GetError();
  list.entries.push_back({std::move(source.Value()), std::move(destination.Value())});
  return {};
}

Result<std::string> FileHead(const std::filesystem::path& local) {
  mif::Result<std::string> read = mif::ReadRegularFile(local.string(), 256, true);
  if (!read) return Failure{ExitCode::kUnreadable, read.ErrorMessage()};
  std::string_view text = read.Value();
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return std::string();
  return std::string(text.substr(start));
}

Result<bool> IsMifFile(const std::filesystem::path& local) {
  Result<std::string> head = FileHead(local);
  if (!head.IsOk()) return head.GetError();
  return head.Value().starts_with("<MIFFile") || head.Value().starts_with("<Book");
}

Result<PlainList> ParseListText(std::string_view text, bool conversion, const std::string& fileName) {
  PlainList list;
  list.conversion = conversion;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  size_t lineNumber = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (line.ends_with('\r')) line.remove_suffix(1);
    std::string_view content = Trimmed(line);
    if (content.empty() || content.starts_with('#')) continue;
    const std::string where = fileName + ":" + std::to_string(lineNumber);
    if (!conversion) {
      Result<std::string> name = HostName(content, where);
      if (!name.IsOk()) return name.GetError();
      list.entries.push_back({std::move(name.Value()), {}});
      continue;
    }
    auto pair = SplitPair(content, true);
    if (!pair) return Usage(where + ": expected SOURCE = DEST or SOURCE<tab>DEST, not " + Quoted(content));
    if (pair->first.empty()) return Usage(where + ": no source table format in " + Quoted(content));
    Result<std::string> source = HostName(pair->first, where);
    if (!source.IsOk()) return source.GetError();
    Result<std::string> destination = HostName(pair->second, where);
    if (!destination.IsOk()) return destination.GetError();
    list.entries.push_back({std::move(source.Value()), std::move(destination.Value())});
  }
  // An empty tag list would delete every table format: far more likely a
  // wrong or truncated file than a wish.
  if (list.entries.empty()) {
    return Usage(fileName + ": lists no table formats" +
                 (conversion ? " to convert" : " (keep-listed would delete every table format)"));
  }
  return list;
}

Result<PlainList> ReadListTextFile(const std::filesystem::path& local, bool conversion) {
  mif::Result<std::string> read = mif::ReadRegularFile(local.string(), kMaxListFileBytes);
  if (!read) return Failure{ExitCode::kUnreadable, read.ErrorMessage()};
  return ParseListText(read.Value(), conversion, local.string());
}

// ---- List documents ----------------------------------------------------------------------------------------

sub::Document& BuildListDocument(sub::SubstituteHost& host, const PlainList& list) {
  sub::Document& document = host.NewDocument();
  // The table stands at the start of the main flow, where a new document's
  // insertion point is and where the plug-in puts its list.
  ::ObjectId first = document.LastParagraph().id;
  document.selection = {{first, 0}, {first, 0}};
  const int32_t columns = list.conversion ? 2 : 1;
  sub::Table* table = document.AddTable(kListFormat, columns, static_cast<int32_t>(list.entries.size()), 1, 0,
                                        {first, 0});
  // A standard document always has the format and the paragraph; a table
  // needs a body row, and the callers never hand over an empty list.
  if (table == nullptr) return document;
  sub::SetFormatLevelProperty(table->properties, sub::kPropTitlePosition, sub::PropertyValue::Int(0));
  document.UpdateTitle(*table);
  for (::Metric& width : table->columnWidths) width = kListColumnWidth;
  document.SetCellText(document.CellAt(table->id, 0, 0), list.conversion ? kSourceHeader : kTagListHeader);
  if (list.conversion) document.SetCellText(document.CellAt(table->id, 0, 1), kDestinationHeader);
  for (size_t i = 0; i < list.entries.size(); ++i) {
    document.SetCellText(document.CellAt(table->id, i + 1, 0), list.entries[i].source);
    if (list.conversion) document.SetCellText(document.CellAt(table->id, i + 1, 1), list.entries[i].destination);
  }
  return document;
}

Result<std::string> ListText(const sub::Document& document) {
  const sub::Table* list = nullptr;
  bool conversion = false;
  for (::ObjectId id : document.TablesInOrder()) {
    std::string first = document.CellText(document.CellAt(id, 0, 0));
    if (first.starts_with(kTagListHeader) || first.starts_with(kSourceHeader)) {
      list = document.FindTable(id);
      conversion = first.starts_with(kSourceHeader);
      break;
    }
  }
  if (list == nullptr) return Failure{ExitCode::kFailed, "the command wrote no tag or conversion list"};
  std::string text =
      conversion ? "# Source Tag = Destination Tag, one a line (or the two separated by a tab). Write the\n"
                   "# table format to convert to after a source's '='; a source with nothing after it is\n"
                   "# left alone. Then: gridwright convert --list THIS-FILE FILE.mif|FILE.book\n"
                 : "# Tags to Keep, one table format a line. Delete the lines of the formats to drop, then:\n"
                   "# gridwright keep-listed --list THIS-FILE FILE.mif|FILE.book\n";
  for (::ObjectId rowId : list->rows) {
    const sub::Row* row = document.FindRow(rowId);
    if (row == nullptr || row->kind == sub::kRowHeading || row->cells.empty()) continue;
    std::string source = document.CellText(row->cells[0]);
    if (source.empty()) continue;
    std::string destination = conversion && row->cells.size() > 1 ? document.CellText(row->cells[1]) : "";
    for (const auto& [name, isSource] : {std::pair{&source, true}, std::pair{&destination, false}}) {
      if (name->empty()) continue;
      std::string why = UnwritableBecause(*name, conversion && isSource);
      if (!why.empty()) {
        return Failure{ExitCode::kFailed, "the table format name " + Quoted(HostTextToUtf8(*name)) + " has " + why +
                                              " and cannot be written as plain text; use --output FILE.mif"};
      }
    }
    text += HostTextToUtf8(source);
    if (conversion) text += destination.empty() ? " =" : " = " + HostTextToUtf8(destination);
    text += "\n";
  }
  return text;
}

}  // namespace gw::cli
