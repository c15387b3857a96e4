#include "cli/report_text.h"

#include <cstdio>
#include <ctime>

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

std::string plural(std::size_t count, std::string_view word, std::string_view words) {
    if (count == 1) return "1 " + std::string(word);
    return std::to_string(count) + " " +
           (words.empty() ? std::string(word) + "s" : std::string(words));
}

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string s = "\"";
    for (const char c : text) {
        if (c == '"') s += '"';
        s += c;
    }
    return s + "\"";
}

std::string csvText(std::string_view text) {
    if (!text.empty() &&
        std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
        return csvField("'" + std::string(text));
    }
    return csvField(text);
}

std::tm localTime(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    return local;
}

std::string timeStamp(std::chrono::system_clock::time_point when) {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() %
        1000;
    const std::tm local = localTime(std::chrono::system_clock::to_time_t(when));
    char text[32];
    const std::size_t size = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis));
    return std::string(text, size) + fraction;
}

}  // namespace velmora::cli
