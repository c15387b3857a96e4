#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What the XML layer's files share about text: UTF-8 sequences, and the characters XML cannot
// hold. Only src/documents/ includes it (the XML layer, and the data sheet reader's text check).
namespace velmora::xml_internal {

// The most characters of a document that a message quotes.
constexpr std::size_t kQuotedCharacters = 40;

// The length of the UTF-8 sequence starting at `pos`, or 0 when it is not a valid one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t pos);

// `text` with every byte that does not belong to a valid UTF-8 sequence replaced by U+FFFD,
// so that a message quoting a broken file can still be shown.
std::string validUtf8(std::string_view text);

// The byte position `characters` characters after `pos`; a byte that is not valid UTF-8 counts
// as one character, as the parser counts it.
std::size_t advanceCharacters(std::string_view text, std::size_t pos, std::size_t characters);

// True when `text` (UTF-8) holds a character that XML cannot carry, even escaped: a control
// character other than tab, line feed and carriage return, or U+FFFE or U+FFFF.
bool holdsNonXmlCharacter(std::string_view text);

// Written as is, such a character would make the whole saved document unreadable.
[[noreturn]] void failNonXmlCharacter(const std::string& where);

}  // namespace velmora::xml_internal
