// Reading MIF documents and books into a Document tree.
#pragma once

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

// Reads and parses the file at path.
[[nodiscard]] Result<Document> ReadFile(const std::string& path);

}  // namespace gw::mif
