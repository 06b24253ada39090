// Lists for keep-listed and convert given without a list document: names on
// the command line (--keep, --map) or a plain text file (--list FILE.txt),
// the list document the command line builds from them in the substitute host,
// and the plain text form of a list the plug-in wrote (create-*-list
// --output FILE.txt).
//
// The plain text form, UTF-8, one entry a line; blank lines and lines starting
// with '#' are ignored, blanks around names are dropped:
//
//   # tag list                 # conversion list
//   Format A                   Steps = Format A
//   Wide                       Notes<TAB>Wide
//                              body =              (no destination: left alone)
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cli/outcome.h"
#include "substitute/substitute_host.h"

namespace gw::cli {

// A tag list (names to keep) or a conversion list (sources with their
// destinations), in the host encoding, in the order given. An empty
// destination leaves the source's tables alone, as in a list document.
struct PlainList {
  struct Entry {
    std::string source;
    std::string destination;  // conversion lists only
  };
  bool conversion = false;
  std::vector<Entry> entries;
};

// ---- Lists from the command line and from text files ----

// --keep NAME[,NAME...]: appends the names. Fails with kUsage, naming the
// option's value, for an empty name or one the host encoding cannot hold.
[[nodiscard]] Status AddKeepNames(PlainList& list, std::string_view value);
// --map SOURCE=DEST: appends the pair (split at the first '='). Fails with
// kUsage for a missing source or destination or a name the host encoding
// cannot hold.
[[nodiscard]] Status AddMapping(PlainList& list, std::string_view value);

// The first bytes of a file (at most 256) after a UTF-8 byte-order mark and
// leading blanks: enough to tell a MIF document or book by its header.
[[nodiscard]] Result<std::string> FileHead(const std::filesystem::path& local);

// Whether the file begins with a MIF header (<MIFFile or <Book, after an
// optional byte-order mark and blanks): such a list is a list document, any
// other is plain text. kUnreadable when the file cannot be read.
[[nodiscard]] Result<bool> IsMifFile(const std::filesystem::path& local);

// Parses the plain text form. Malformed lines (a conversion line without a tab
// or '=', or without a source), text that is not UTF-8 or has characters the
// host encoding lacks, and a list without entries fail with kUsage and
// "fileName:line: what".
[[nodiscard]] Result<PlainList> ParseListText(std::string_view text, bool conversion, const std::string& fileName);
// Reads and parses a plain text list file; kUnreadable when it cannot be read.
[[nodiscard]] Result<PlainList> ReadListTextFile(const std::filesystem::path& local, bool conversion);

// ---- List documents ----

// Opens a new untitled document in the host (made active) holding the list
// as the plug-in's list commands write it: a "Format A" table without title,
// columns 144 pt wide, a heading row "Tags to Keep" or "Source Tag" /
// "Destination Tag", and one body row per entry in order. The host owns the
// document.
substitute::Document& BuildListDocument(substitute::SubstituteHost& host, const PlainList& list);

// The plain text form of the list table in a document the plug-in wrote
// (create-tag-list, create-conversion-list), with a comment saying how to
// edit it; rows without a source are left out. Fails with kFailed when the
// document holds no list table, or a name that the text form cannot carry
// back unchanged (blanks at either end, a leading '#', control characters, a
// byte without a character; '=' in a conversion list's source).
[[nodiscard]] Result<std::string> ListText(const substitute::Document& document);

}  // namespace gw::cli
