#include "documents/xml_text.h"

#include <algorithm>
#include <cstdint>

#include "core/error.h"
#include "documents/xml_document.h"

namespace velmora {

namespace xml_internal {

std::size_t utf8SequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0u) != 0x80u) return 0;
        code = (code << 6) | (byte(pos + i) & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF) return 0;
    return length;
}

std::string validUtf8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = utf8SequenceLength(text, pos);
        if (length == 0) {
            result += "\xEF\xBF\xBD";
            ++pos;
        } else {
            result.append(text.substr(pos, length));
            pos += length;
        }
    }
    return result;
}

std::size_t advanceCharacters(std::string_view text, std::size_t pos, std::size_t characters) {
    for (; characters > 0 && pos < text.size(); --characters) {
        pos += std::max<std::size_t>(1, utf8SequenceLength(text, pos));
    }
    return pos;
}

bool holdsNonXmlCharacter(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') return true;
        const std::string_view next = text.substr(i + 1, 2);
        if (byte == 0xEF && (next == "\xBF\xBE" || next == "\xBF\xBF")) return true;
    }
    return false;
}

[[noreturn]] void failNonXmlCharacter(const std::string& where) {
    throw Error("The " + where + " holds a character that XML does not allow");
}

}  // namespace xml_internal

std::string quotedValue(std::string_view value) {
    using xml_internal::advanceCharacters, xml_internal::kQuotedCharacters, xml_internal::validUtf8;
    return "\"" + validUtf8(value.substr(0, advanceCharacters(value, 0, kQuotedCharacters))) + "\"";
}

}  // namespace velmora
