#include "cli/report_text.h"

namespace velmora::cli {

std::string jsonString(std::string_view text) {
    std::string s = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                s += "\\\"";
                break;
            case '\\':
                s += "\\\\";
                break;
            case '\n':
                s += "\\n";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static const char* hex = "0123456789abcdef";
                    s += "\\u00";
                    s += hex[(c >> 4) & 0xF];
                    s += hex[c & 0xF];
                } else {
                    s += c;
                }
        }
    }
    return s + "\"";
}

std::string plural(std::size_t count, std::string_view word) {
    return std::to_string(count) + " " + std::string(word) + (count == 1 ? "" : "s");
}

}  // namespace velmora::cli
