#include "workspace/settings_file.h"

#include <ios>
#include <istream>
#include <ostream>
#include <sstream>
#include <utility>

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

// Reads the text one line at a time, its ending included. A line ends at "\r\n", "\n" or a
// bare "\r", so that a file kept with any of them reads back what was written into it.
class LineReader {
public:
    explicit LineReader(std::istream& in) : buffer_(*in.rdbuf()) {}

    // The next line into `line`; false at the end of the text. Throws velmora::Error when the
    // text cannot be read (the stream buffer of a file reports that by throwing).
    bool next(std::string& line) {
        try {
            return read(line);
        } catch (const std::ios_base::failure&) {
            throw Error("The settings file cannot be read");
        }
    }

private:
    bool read(std::string& line) {
        line.clear();
        for (;;) {
            const auto c = buffer_.sbumpc();
            if (c == std::char_traits<char>::eof()) return !line.empty();
            line.push_back(static_cast<char>(c));
            if (c == '\n') return true;
            if (c == '\r') {
                if (buffer_.sgetc() == '\n') line.push_back(static_cast<char>(buffer_.sbumpc()));
                return true;
            }
        }
    }

    std::streambuf& buffer_;
};

// Where a section and its key sit among the lines; npos when absent.
struct Place {
    std::size_t section = std::string_view::npos;
    std::size_t key = std::string_view::npos;
    std::size_t lastFilled = std::string_view::npos;  // the section's last non-blank line
    std::string value;                                // the key's value as written, trimmed
};

// Where the section and its key sit, found by reading `in` from its current position to the
// end of that section. Lines are counted from 0. `newline` receives the ending of the first line
// that has one.
Place locate(std::istream& in, std::string_view section, std::string_view key,
             std::string* newline = nullptr) {
    Place place;
    LineReader reader(in);
    std::string whole;
    for (std::size_t i = 0; reader.next(whole); ++i) {
        const Line line{whole};
        if (newline && newline->empty()) *newline = line.ending();
        if (line.isSection()) {
            // Reading stops at the section after the matching one. Only the last line of a text
            // lacks an ending, so `newline` is known by then.
            if (place.section != std::string_view::npos) break;
            if (sameName(line.sectionName(), section)) place.section = place.lastFilled = i;
            continue;
        }
        if (place.section == std::string_view::npos) continue;
        if (!line.content().empty()) place.lastFilled = i;
        const auto name = line.keyName();
        if (place.key == std::string_view::npos && name && sameName(*name, key)) {
            place.key = i;
            place.value = line.value();
        }
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

}  // namespace

std::optional<std::string> readIniValue(std::istream& in, std::string_view section,
                                        std::string_view key) {
    const Place place = locate(in, section, key);
    if (place.key == std::string_view::npos) return std::nullopt;
    std::string_view value = place.value;
    if (enclosedInQuotes(value)) value = value.substr(1, value.size() - 2);
    return std::string(firstChars(value, kIniValueMaxChars));
}

void writeIniValue(std::istream& in, std::ostream& out, std::string_view section,
                   std::string_view key, std::string_view value, std::string_view lineEnd) {
    if (value.find_first_of("\r\n") != std::string_view::npos) {
        throw Error("A settings value cannot hold a line break");
    }
    if (!in) throw Error("The settings file cannot be read");
    const auto start = in.tellg();
    // Lines added in UTF-8 would corrupt a file kept in UTF-16; it is left as it is.
    char bom[2] = {};
    in.read(bom, 2);
    if (in.gcount() == 2 &&
        ((bom[0] == '\xFF' && bom[1] == '\xFE') || (bom[0] == '\xFE' && bom[1] == '\xFF'))) {
        throw Error("A settings file in UTF-16 is not rewritten");
    }
    const auto rewind = [&] {
        in.clear();
        in.seekg(start);
        if (!in) throw Error("The settings file cannot be read");
    };
    rewind();
    const bool needsQuotes = !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                                                enclosedInQuotes(value));
    const std::string stored = needsQuotes ? "\"" + std::string(value) + "\"" : std::string(value);

    // Two passes over the text: the first finds the places, the second copies it with the
    // change, so that neither holds more than one line.
    std::string nl;
    const Place place = locate(in, section, key, &nl);
    if (nl.empty()) nl = lineEnd;
    rewind();

    LineReader reader(in);
    std::string whole;
    bool endsInNewline = true;  // an empty text needs no line break before the new section
    for (std::size_t i = 0; reader.next(whole); ++i) {
        const Line line{whole};
        endsInNewline = !line.ending().empty();
        if (i == place.key) {
            out << *line.keyName() << "=" << stored << line.ending();
            continue;
        }
        out << line.whole;
        if (place.key == std::string_view::npos && i == place.lastFilled) {
            if (line.ending().empty()) out << nl;
            out << key << "=" << stored << nl;
        }
    }
    if (place.section == std::string_view::npos) {
        if (!endsInNewline) out << nl;
        out << "[" << section << "]" << nl << key << "=" << stored << nl;
    }
    if (!out) throw Error("The settings file cannot be written");
}

std::optional<std::string> readIniValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
    std::istringstream in{std::string(text)};
    return readIniValue(in, section, key);
}

std::string writeIniValue(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view value, std::string_view lineEnd) {
    std::istringstream in{std::string(text)};
    std::ostringstream out;
    writeIniValue(in, out, section, key, value, lineEnd);
    return std::move(out).str();
}

}  // namespace velmora
