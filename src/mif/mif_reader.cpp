#include "mif/mif_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

namespace gw::mif {
namespace {

// Deeper nesting than any real file has; the limit keeps the writer's and the
// callers' recursion bounded on hostile input.
constexpr std::size_t kMaxDepth = 1000;

// Character classes by byte, looked up once per byte of the file.
enum : std::uint8_t { kSpace = 1, kDelimiter = 2, kStringStop = 4 };
constexpr std::array<std::uint8_t, 256> kClasses = [] {
  std::array<std::uint8_t, 256> classes{};
  for (unsigned char c : {' ', '\t', '\n', '\r', '\f', '\v'}) classes[c] |= kSpace | kDelimiter;
  // Characters that end a bare token (name, number, keyword).
  for (unsigned char c : {'<', '>', '`', '#'}) classes[c] |= kDelimiter;
  // Characters a string scan must look at: the closing quote, an escape, a
  // line break, and what may not follow a line break inside a string.
  for (unsigned char c : {'\'', '\\', '\n', '\r', '`', '>'}) classes[c] |= kStringStop;
  return classes;
}();

bool IsSpace(char c) { return (kClasses[static_cast<unsigned char>(c)] & kSpace) != 0; }
bool IsDelimiter(char c) { return (kClasses[static_cast<unsigned char>(c)] & kDelimiter) != 0; }
bool IsStringStop(char c) { return (kClasses[static_cast<unsigned char>(c)] & kStringStop) != 0; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the number at the start of token (sign, digits, one point),
// or 0 if it does not start with one.
std::size_t NumberLength(std::string_view token) {
  std::size_t i = 0;
  if (i < token.size() && (token[i] == '-' || token[i] == '+')) ++i;
  std::size_t digits = 0;
  while (i < token.size() && IsDigit(token[i])) ++i, ++digits;
  if (i < token.size() && token[i] == '.') {
    ++i;
    while (i < token.size() && IsDigit(token[i])) ++i, ++digits;
  }
  return digits == 0 ? 0 : i;
}

std::string Printable(std::string_view text) {
  constexpr std::size_t kMaxShown = 40;
  std::string shown(text.substr(0, kMaxShown));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  if (text.size() > kMaxShown) shown += "...";
  return shown;
}

}  // namespace

class Parser {
 public:
  Parser(std::string text, std::string_view fileName) {
    document_.sourceBytes_ = std::make_shared<const std::string>(std::move(text));
    document_.source_ = *document_.sourceBytes_;
    document_.fileName_ = std::string(fileName);
    source_ = document_.source_;
  }

  Result<Document> Run();

 private:
  using Span = Document::Span;

  SourcePosition PositionAt(std::size_t offset) const;
  Error ErrorAt(std::size_t offset, std::string_view what) const;
  static Span SpanOf(std::size_t begin, std::size_t end) {
    return Span{static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end - begin)};
  }

  std::size_t SkipTrivia(std::size_t at) const;
  std::size_t LineEnd(std::size_t at) const;
  bool AtLineStart(std::size_t at) const;
  Status CheckHeaderStart(std::size_t* start);
  NodeId AddNode(NodeKind kind, std::size_t begin, std::size_t end, Span leading, NodeId parent);
  void TakeTrailing(NodeId node, Span* into = nullptr);
  Result<std::size_t> ScanString(std::size_t at) const;
  Result<std::size_t> ScanDirective(std::size_t keywordStart, std::size_t openParen) const;
  Status FinishHeader();

  Document document_;
  std::string_view source_;
  std::size_t pos_ = 0;
};

SourcePosition Parser::PositionAt(std::size_t offset) const {
  offset = std::min(offset, source_.size());
  auto begin = source_.begin();
  auto line = std::count(begin, begin + static_cast<std::ptrdiff_t>(offset), '\n');
  std::size_t lineStart = source_.rfind('\n', offset == 0 ? 0 : offset - 1);
  lineStart = (lineStart == std::string_view::npos || offset == 0) ? 0 : lineStart + 1;
  return SourcePosition{static_cast<std::uint32_t>(line + 1), static_cast<std::uint32_t>(offset - lineStart + 1)};
}

Error Parser::ErrorAt(std::size_t offset, std::string_view what) const {
  SourcePosition at = PositionAt(offset);
  return Error{document_.fileName_ + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) + ": " +
               std::string(what)};
}

std::size_t Parser::SkipTrivia(std::size_t at) const {
  while (at < source_.size()) {
    char c = source_[at];
    if (IsSpace(c)) {
      ++at;
    } else if (c == '#') {
      at = LineEnd(at);
    } else {
      break;
    }
  }
  return at;
}

// The offset of the line break ending the line that holds at ("\r\n" or
// "\n"), or the end of the file.
std::size_t Parser::LineEnd(std::size_t at) const {
  const void* found = std::memchr(source_.data() + at, '\n', source_.size() - at);
  if (found == nullptr) return source_.size();
  auto end = static_cast<std::size_t>(static_cast<const char*>(found) - source_.data());
  if (end > at && source_[end - 1] == '\r') --end;
  return end;
}

bool Parser::AtLineStart(std::size_t at) const {
  while (at > 0 && (source_[at - 1] == ' ' || source_[at - 1] == '\t')) --at;
  return at == 0 || source_[at - 1] == '\n';
}

NodeId Parser::AddNode(NodeKind kind, std::size_t begin, std::size_t end, Span leading, NodeId parent) {
  auto id = static_cast<NodeId>(document_.nodes_.size());
  Document::Node& node = document_.nodes_.emplace_back();
  node.kind = kind;
  node.leading = leading;
  node.text = SpanOf(begin, end);
  node.sourceOffset = static_cast<std::uint32_t>(begin);
  // Linked here rather than with LinkLast: a parse runs in no trial and makes
  // the file's own nodes, so none needs saving or marking as touched, and
  // this is the parse's innermost step.
  node.parent = parent;
  Document::Node& up = document_.nodes_[parent];
  node.previous = up.lastChild;
  if (up.lastChild == kNoNode) {
    up.firstChild = id;
  } else {
    document_.nodes_[up.lastChild].next = id;
  }
  up.lastChild = id;
  return id;
}

// Spacing after a node up to its line end, with a comment there, belongs to
// the node: removing the next node must not take this line's comment along.
void Parser::TakeTrailing(NodeId node, Span* into) {
  std::size_t at = pos_;
  while (at < source_.size() && (source_[at] == ' ' || source_[at] == '\t')) ++at;
  if (at < source_.size() && source_[at] == '#') {
    at = LineEnd(at);
  } else if (at < source_.size() && source_[at] != '\n' && source_[at] != '\r') {
    return;  // another item follows on this line: the spacing is its own
  }
  *(into != nullptr ? into : &document_.nodes_[node].trailing) = SpanOf(pos_, at);
  pos_ = at;
}

// The offset just past the closing quote of the string opening at at. The
// host wraps long strings (an equation's MathFullForm) over several lines, so
// a string may go on past a line break to its closing quote. Text within a
// string never holds an unescaped ` or > (they are written \Q and \>), so
// meeting one after a line break means the quote was missing on the first line.
Result<std::size_t> Parser::ScanString(std::size_t at) const {
  std::size_t i = at + 1;
  bool wrapped = false;
  while (i < source_.size()) {
    char c = source_[i];
    if (!IsStringStop(c)) {
      ++i;
      continue;
    }
    if (c == '\'') return i + 1;
    if (c == '\n' || c == '\r') wrapped = true;
    if (wrapped && (c == '`' || c == '>')) {
      return ErrorAt(at, "unterminated string: no closing ' before the end of the line");
    }
    if (c == '\\' && i + 1 < source_.size() && source_[i + 1] != '\n' && source_[i + 1] != '\r') ++i;
    ++i;
  }
  return ErrorAt(at, "unterminated string: the file ends inside it (truncated file?)");
}

// The offset just past the ")" closing a define or include directive.
Result<std::size_t> Parser::ScanDirective(std::size_t keywordStart, std::size_t openParen) const {
  std::size_t depth = 0;
  std::size_t i = openParen;
  while (i < source_.size()) {
    char c = source_[i];
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) return i + 1;
    } else if (c == '`') {
      Result<std::size_t> end = ScanString(i);
      if (!end) return end.GetError();
      i = end.Value();
      continue;
    }
    ++i;
  }
  std::string what = "unterminated ";
  what += source_.substr(keywordStart, openParen - keywordStart);
  while (!what.empty() && IsSpace(what.back())) what.pop_back();
  what += ": no closing ')' before the end of the file";
  return ErrorAt(keywordStart, what);
}

// Checks that the file opens with <MIFFile or <Book (after an optional UTF-8
// byte order mark) and sets *start to the "<".
Status Parser::CheckHeaderStart(std::size_t* start) {
  std::size_t at = 0;
  if (source_.substr(0, 3) == "\xEF\xBB\xBF") at = 3;
  *start = at;
  if (at >= source_.size()) {
    return ErrorAt(at, "missing header: the file is empty; a MIF file begins with <MIFFile version> or <Book version>");
  }
  if (source_[at] != '<') {
    return ErrorAt(at, "missing header: the file begins with \"" + Printable(source_.substr(at, LineEnd(at) - at)) +
                           "\", not <MIFFile version> or <Book version>");
  }
  std::size_t nameEnd = at + 1;
  while (nameEnd < source_.size() && !IsDelimiter(source_[nameEnd])) ++nameEnd;
  std::string_view name = source_.substr(at + 1, nameEnd - at - 1);
  if (name == "MIFFile") {
    document_.kind_ = FileKind::Document;
  } else if (name == "Book") {
    document_.kind_ = FileKind::Book;
  } else {
    return ErrorAt(at, "wrong header: the file begins with <" + Printable(name) +
                           ">, not <MIFFile version> or <Book version>");
  }
  return Status::Ok();
}

Status Parser::FinishHeader() {
  NodeId header = document_.Header();
  NodeId version = document_.FirstChild(header);
  std::string_view name = document_.Name(header);
  if (version == kNoNode || document_.KindOf(version) != NodeKind::Number) {
    return ErrorAt(0, "wrong header: <" + std::string(name) + "> has no version number (as in <" + std::string(name) +
                          " 7.00>)");
  }
  std::string_view text = document_.RawText(version);
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return ErrorAt(document_.nodes_[version].sourceOffset, "wrong header: bad version number " + std::string(text));
  }
  document_.version_ = value;
  return Status::Ok();
}

Result<Document> Parser::Run() {
  if (source_.size() >= Document::kAddedBit) {
    return Error{document_.fileName_ + ": file too large: MIF files of 2 GB and more are not supported"};
  }
  if (const void* nul = std::memchr(source_.data(), '\0', source_.size())) {
    auto offset = static_cast<std::size_t>(static_cast<const char*>(nul) - source_.data());
    return ErrorAt(offset, "NUL byte: MIF files are text, this file holds binary data");
  }
  std::size_t firstBreak = source_.find('\n');
  if (firstBreak != std::string_view::npos && firstBreak > 0 && source_[firstBreak - 1] == '\r') {
    document_.lineBreak_ = "\r\n";
  }
  std::size_t start = 0;
  if (Status status = CheckHeaderStart(&start); !status) return status.GetError();

  document_.nodes_.reserve(source_.size() / 12 + 16);
  document_.nodes_.emplace_back();  // the root
  document_.nodes_[0].sourceOffset = 0;
  std::vector<NodeId> open{document_.Root()};

  std::size_t leadStart = 0;  // the byte order mark, if any, leads the header
  pos_ = start;
  while (true) {
    pos_ = SkipTrivia(pos_);
    Span leading = SpanOf(leadStart, pos_);
    NodeId parent = open.back();
    if (pos_ >= source_.size()) {
      if (open.size() > 1) {
        NodeId innermost = open.back();
        SourcePosition end = PositionAt(source_.size());
        return ErrorAt(document_.nodes_[innermost].sourceOffset,
                       "unterminated statement: <" + std::string(document_.Name(innermost)) +
                           "> is not closed before the end of the file at line " + std::to_string(end.line) +
                           " (truncated file?)");
      }
      document_.nodes_[parent].closing = leading;
      break;
    }
    const std::size_t begin = pos_;
    const char c = source_[begin];
    if (c == '<') {
      std::size_t nameStart = begin + 1;
      while (nameStart < source_.size() && (source_[nameStart] == ' ' || source_[nameStart] == '\t')) ++nameStart;
      std::size_t nameEnd = nameStart;
      while (nameEnd < source_.size() && !IsDelimiter(source_[nameEnd])) ++nameEnd;
      if (nameEnd == nameStart) {
        return ErrorAt(begin, "statement without a name: '<' must be followed by a token name such as <Pgf");
      }
      if (open.size() > kMaxDepth) {
        return ErrorAt(begin, "statements nested too deeply: more than " + std::to_string(kMaxDepth) + " levels");
      }
      NodeId statement = AddNode(NodeKind::Statement, begin, nameEnd, leading, parent);
      open.push_back(statement);
      pos_ = nameEnd;
      // The rest of the head's line stays with the head, so that statements
      // added inside go after it rather than between it and its line end.
      TakeTrailing(statement, &document_.nodes_[statement].afterHead);
    } else if (c == '>') {
      if (open.size() == 1) return ErrorAt(begin, "unexpected '>': no statement is open here");
      document_.nodes_[parent].closing = leading;
      open.pop_back();
      pos_ = begin + 1;
      TakeTrailing(parent);
    } else if (c == '`') {
      Result<std::size_t> end = ScanString(begin);
      if (!end) return end.GetError();
      if (open.size() == 1) return ErrorAt(begin, "unexpected string outside any statement");
      NodeId value = AddNode(NodeKind::String, begin, end.Value(), leading, parent);
      pos_ = end.Value();
      TakeTrailing(value);
    } else if ((c == '=' || c == '&') && open.size() > 1 && AtLineStart(begin)) {
      // Inset data: the whole line is data, whatever it holds.
      pos_ = LineEnd(begin);
      AddNode(NodeKind::Facet, begin, pos_, leading, parent);
    } else {
      std::size_t end = begin;
      while (end < source_.size() && !IsDelimiter(source_[end])) ++end;
      std::string_view token = source_.substr(begin, end - begin);
      std::size_t paren = token.find('(');
      std::string_view word = token.substr(0, paren);
      if (word == "define" || word == "include") {
        std::size_t openParen = paren == std::string_view::npos ? end : begin + paren;
        while (openParen < source_.size() && (source_[openParen] == ' ' || source_[openParen] == '\t')) ++openParen;
        if (openParen < source_.size() && source_[openParen] == '(') {
          Result<std::size_t> directiveEnd = ScanDirective(begin, openParen);
          if (!directiveEnd) return directiveEnd.GetError();
          NodeId directive = AddNode(NodeKind::Directive, begin, directiveEnd.Value(), leading, parent);
          pos_ = directiveEnd.Value();
          TakeTrailing(directive);
          leadStart = pos_;
          continue;
        }
      }
      if (open.size() == 1) {
        return ErrorAt(begin, "unexpected text outside any statement: \"" + Printable(token) + "\"");
      }
      NodeKind kind = NodeKind::Keyword;
      std::size_t numberLength = NumberLength(token);
      if (numberLength == token.size()) {
        kind = NodeKind::Number;
        // A unit may follow after spaces on the same line ("12.0 pt").
        std::size_t unitStart = end;
        while (unitStart < source_.size() && (source_[unitStart] == ' ' || source_[unitStart] == '\t')) ++unitStart;
        std::size_t unitEnd = unitStart;
        while (unitEnd < source_.size() && !IsDelimiter(source_[unitEnd])) ++unitEnd;
        if (unitEnd > unitStart && UnitFromName(source_.substr(unitStart, unitEnd - unitStart))) {
          kind = NodeKind::Dimension;
          end = unitEnd;
        }
      } else if (numberLength > 0 && UnitFromName(token.substr(numberLength))) {
        kind = NodeKind::Dimension;
      }
      NodeId value = AddNode(kind, begin, end, leading, parent);
      pos_ = end;
      TakeTrailing(value);
    }
    leadStart = pos_;
  }
  if (Status status = FinishHeader(); !status) return status.GetError();
  return std::move(document_);
}

Result<Document> Parse(std::string fileText, std::string_view fileName) {
  Parser parser(std::move(fileText), fileName);
  return parser.Run();
}

#if !defined(_WIN32)  // Windows: mif_files_windows.cpp
namespace {

// strerror's text, safely from any thread (files are read on worker threads
// too). Either form of strerror_r: GNU's returns the text, POSIX's fills buffer.
[[maybe_unused]] const char* ErrorText(const char* text, const char* /*buffer*/) { return text; }
[[maybe_unused]] const char* ErrorText(int failed, const char* buffer) {
  return failed == 0 ? buffer : "Unknown error";
}

std::string SystemErrorText(int error) {
  char buffer[256] = "";
  return ErrorText(strerror_r(error, buffer, sizeof buffer), buffer);
}

}  // namespace

Result<std::string> ReadRegularFile(const std::string& path, std::size_t maxBytes, bool headOnly) {
  // Non-blocking, so that opening a FIFO does not wait for a writer; the
  // flag is cleared again once the file is known to be regular.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Error{path + ": cannot open: " + SystemErrorText(errno)};
  auto fail = [&](const std::string& why) -> Result<std::string> {
    ::close(fd);
    return Error{path + ": cannot read: " + why};
  };
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fail(SystemErrorText(errno));
  if (S_ISDIR(info.st_mode)) return fail("it is a folder, not a file");
  if (!S_ISREG(info.st_mode)) return fail("it is not a regular file (a device, pipe or socket)");
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return fail(SystemErrorText(errno));
  auto tooLarge = [&]() { return fail("it is larger than " + std::to_string(maxBytes >> 20) + " MiB"); };
  std::size_t size = static_cast<std::size_t>(info.st_size);
  if (!headOnly && size > maxBytes) return tooLarge();
  std::string text;
  // One byte more than the size, so that the read finding the end needs no
  // growth of the buffer; never more than the limit allows.
  std::size_t limit = headOnly ? maxBytes : maxBytes + 1;
  text.resize(std::min(limit, size > 0 ? size + 1 : std::size_t{4096}));
  std::size_t filled = 0;
  while (filled < limit) {
    if (filled == text.size()) text.resize(std::min(limit, text.size() + 65536));  // the file may have grown
    ssize_t got = ::read(fd, text.data() + filled, text.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(SystemErrorText(errno));
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (!headOnly && filled > maxBytes) return tooLarge();
  ::close(fd);
  text.resize(filled);
  return text;
}
#endif

Result<Document> ReadFile(const std::string& path) {
  Result<std::string> text = ReadRegularFile(path, kMaxMifFileBytes);
  if (!text) return text.GetError();
  return Parse(std::move(text.Value()), path);
}

}  // namespace gw::mif
