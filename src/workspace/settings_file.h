#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The longest value, in characters, that readIniValue returns; the rest of a longer value is cut.
inline constexpr std::size_t kIniValueMaxChars = 2047;

// The value of `key` in `section` of the initialisation-file text `text`, or nothing when the
// section or the key is missing. Section and key names match without regard to ASCII case; the
// first matching section and key win. The value is trimmed of blanks, one pair of enclosing
// quotes (" or ') is removed, and at most kIniValueMaxChars characters (UTF-8) are returned.
std::optional<std::string> readIniValue(std::string_view text, std::string_view section,
                                        std::string_view key);

// `text` with `key` in `section` set to `value`: the first matching key line is replaced, a
// missing key is added at the end of its section, a missing section at the end of the text.
// Every other line stays exactly as it was. A value that reading would change (outer blanks,
// enclosing quotes) is written inside quotes so that it reads back unchanged.
// Throws velmora::Error when `value` holds a line break, which the file form cannot carry, and
// when `text` is UTF-16 (it begins with a UTF-16 byte order mark), which this writer does not keep.
std::string writeIniValue(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view value);

}  // namespace velmora
