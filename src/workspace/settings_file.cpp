#include "workspace/settings_file.h"

#include <vector>

#include "core/error.h"

namespace velmora {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

bool isQuote(char c) { return c == '"' || c == '\''; }

bool enclosedInQuotes(std::string_view s) {
    return s.size() >= 2 && isQuote(s.front()) && s.front() == s.back();
}

// One line of the text, its line ending included, as it appears in the file.
struct Line {
    std::string_view whole;
    // The line without its ending, trimmed.
    std::string_view content() const {
        std::string_view c = whole;
        if (c.starts_with("\xEF\xBB\xBF")) c.remove_prefix(3);  // a UTF-8 byte order mark
        return trimmed(c);
    }
    bool isSection() const { return !content().empty() && content().front() == '['; }
    std::string_view sectionName() const {
        std::string_view c = content().substr(1);
        const auto close = c.find(']');
        return trimmed(close == std::string_view::npos ? c : c.substr(0, close));
    }
    std::optional<std::string_view> keyName() const {
        if (isSection()) return std::nullopt;
        const auto eq = content().find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        return trimmed(content().substr(0, eq));
    }
    std::string_view value() const { return trimmed(content().substr(content().find('=') + 1)); }
    std::string_view ending() const { return whole.substr(whole.find_last_not_of("\r\n") + 1); }
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        const std::size_t len = nl == std::string_view::npos ? text.size() : nl + 1;
        lines.push_back({text.substr(0, len)});
        text.remove_prefix(len);
    }
    return lines;
}

// Where a section and its key sit among the lines; npos when absent.
struct Place {
    std::size_t section = std::string_view::npos;
    std::size_t key = std::string_view::npos;
    std::size_t lastFilled = std::string_view::npos;  // the section's last non-blank line
};

Place locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Place place;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.isSection()) {
            if (place.section != std::string_view::npos) break;
            if (sameName(line.sectionName(), section)) place.section = place.lastFilled = i;
            continue;
        }
        if (place.section == std::string_view::npos) continue;
        if (!line.content().empty()) place.lastFilled = i;
        const auto name = line.keyName();
        if (place.key == std::string_view::npos && name && sameName(*name, key)) place.key = i;
    }
    return place;
}

// The first `maxChars` UTF-8 characters of `s`, never cutting a character in two.
std::string_view firstChars(std::string_view s, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80;
        if (startsCharacter && chars++ == maxChars) return s.substr(0, i);
    }
    return s;
}

std::string_view newlineOf(std::string_view text) {
    return text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
}

}  // namespace

std::optional<std::string> readIniValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
    const auto lines = splitLines(text);
    const Place place = locate(lines, section, key);
    if (place.key == std::string_view::npos) return std::nullopt;
    std::string_view value = lines[place.key].value();
    if (enclosedInQuotes(value)) value = value.substr(1, value.size() - 2);
    return std::string(firstChars(value, kIniValueMaxChars));
}

std::string writeIniValue(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos) {
        throw Error("A settings value cannot hold a line break");
    }
    // Lines added in UTF-8 would corrupt a file kept in UTF-16; it is left as it is.
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        throw Error("A settings file in UTF-16 is not rewritten");
    }
    const bool needsQuotes = !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                                                enclosedInQuotes(value));
    const std::string stored = needsQuotes ? "\"" + std::string(value) + "\"" : std::string(value);
    const std::string_view nl = newlineOf(text);

    const auto lines = splitLines(text);
    const Place place = locate(lines, section, key);
    std::string out;
    out.reserve(text.size() + key.size() + stored.size() + section.size() + 8);
    if (place.section == std::string_view::npos) {
        out.append(text);
        if (!out.empty() && out.back() != '\n') out.append(nl);
        out.append("[").append(section).append("]").append(nl);
        out.append(key).append("=").append(stored).append(nl);
        return out;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (i == place.key) {
            out.append(*line.keyName()).append("=").append(stored);
            out.append(line.ending());
            continue;
        }
        out.append(line.whole);
        if (place.key == std::string_view::npos && i == place.lastFilled) {
            if (line.ending().empty()) out.append(nl);
            out.append(key).append("=").append(stored).append(nl);
        }
    }
    return out;
}

}  // namespace velmora
