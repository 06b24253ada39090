// Reading MIF documents and books into a Document tree.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mif/mif_result.h"
#include "mif/mif_tree.h"

namespace gw::mif {

// Parses a whole MIF file. The file must begin with <MIFFile version> or
// <Book version>. On malformed input the error names the file, the line and
// column, and what was wrong ("ch1.mif:12:5: unterminated string: ...").
// Macros (define, include) are kept verbatim and not expanded.
[[nodiscard]] Result<Document> Parse(std::string fileText, std::string_view fileName);

// The largest file ReadFile reads (256 MiB): a MIF document or book is far
// smaller, and anything larger is refused before memory runs out.
inline constexpr std::size_t kMaxMifFileBytes = std::size_t{256} << 20;

// Reads and parses the file at path (at most kMaxMifFileBytes; see ReadRegularFile).
[[nodiscard]] Result<Document> ReadFile(const std::string& path);

// The bytes of the regular file at path (a symbolic link is followed). A
// folder, device, FIFO or socket is refused without being read (opening never
// waits for a writer), and so is a file of more than maxBytes: the error says
// "path: cannot read: why". With headOnly, the first maxBytes bytes of a longer
// file are returned instead.
[[nodiscard]] Result<std::string> ReadRegularFile(const std::string& path, std::size_t maxBytes,
                                                  bool headOnly = false);

}  // namespace gw::mif
