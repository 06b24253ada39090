// MIF string values: from their escaped file form to host-encoded bytes and back.
//
// MIF writes a string between a backquote and a straight quote, with these
// escapes: \t tab, \> ">", \q "'", \Q "`", \\ "\", and \xNN followed by one
// space for the byte NN. Files before MIF 8 are ASCII with FrameRoman bytes
// written as \xNN; MIF 8 and later write text in UTF-8 (and also accept
// \xNN and \uNNNN).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace gw::mif {

// The host-encoded (FrameRoman) bytes of a raw MIF string. raw may include or
// omit the enclosing quotes. For MIF 8 and later, characters that FrameRoman
// lacks and malformed UTF-8 become "?" and are counted in *unmapped (when
// given), so that a caller can refuse a lossy result.
[[nodiscard]] std::string DecodeString(std::string_view raw, double mifVersion, std::size_t* unmapped = nullptr);

// The text between a raw MIF string's quotes when its bytes are already the
// host-encoded text (no escapes, no wrapped lines and, from MIF 8 on, only
// ASCII), as most strings are; nullopt when it needs DecodeString.
[[nodiscard]] std::optional<std::string_view> PlainString(std::string_view raw, double mifVersion);

// The raw MIF string, quotes included, for host-encoded bytes. Before MIF 8,
// bytes outside printable ASCII become \xnn escapes; from MIF 8 on they become
// UTF-8 (a byte with no character stays a \xnn escape).
[[nodiscard]] std::string EncodeString(std::string_view hostBytes, double mifVersion);

}  // namespace gw::mif
