#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace velmora {

// The line end of the platform's own text files: what a settings file made here is written with.
inline constexpr std::string_view kNativeLineEnd =
#ifdef _WIN32
    "\r\n";
#else
    "\n";
#endif

// The longest value, in characters, that readIniValue returns; the rest of a longer value is cut.
inline constexpr std::size_t kIniValueMaxChars = 2047;

// The value of `key` in `section` of the initialisation-file text `text`, or nothing when the
// section or the key is missing. Lines end at "\r\n", "\n" or a bare "\r". Section and key names
// match without regard to ASCII case; the first matching section and key win. The value is trimmed
// of blanks, one pair of enclosing quotes (" or ') is removed, and at most kIniValueMaxChars
// characters (UTF-8) are returned.
std::optional<std::string> readIniValue(std::string_view text, std::string_view section,
                                        std::string_view key);
// The same, reading the text from `in` one line at a time, up to the end of the section.
std::optional<std::string> readIniValue(std::istream& in, std::string_view section,
                                        std::string_view key);

// `text` with `key` in `section` set to `value`: the first matching key line is replaced, a
// missing key is added at the end of its section, a missing section at the end of the text.
// Every other line stays exactly as it was; added lines end as the text's first line does, or
// with `lineEnd` when no line of the text has an end (a new file, a single unfinished line).
// A value that reading would change (outer blanks, enclosing quotes) is written inside quotes
// so that it reads back unchanged.
// Throws velmora::Error when `value` holds a line break, which the file form cannot carry, and
// when `text` is UTF-16 (it begins with a UTF-16 byte order mark), which this writer does not keep.
std::string writeIniValue(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view value, std::string_view lineEnd = kNativeLineEnd);
// The same, copying the text from `in` to `out` one line at a time; `in` is read twice from its
// current position, so it must be able to seek back. Throws velmora::Error when reading fails.
void writeIniValue(std::istream& in, std::ostream& out, std::string_view section,
                   std::string_view key, std::string_view value,
                   std::string_view lineEnd = kNativeLineEnd);

}  // namespace velmora
