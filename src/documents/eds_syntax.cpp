#include "documents/eds_syntax.h"

#include <algorithm>
#include <utility>

#include "documents/eds_file.h"

namespace velmora::eds_syntax {

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Splits the text into sections and entries: "[Name]", then "Keyword = field, ... ;" running
// over as many lines as it needs; "$" starts a comment outside strings.
class Scanner {
public:
    Scanner(std::string_view text, std::string_view name) : text_(text), name_(name) {
        if (text_.starts_with("\xEF\xBB\xBF")) text_.remove_prefix(3);
    }

    std::vector<Section> sections() {
        std::vector<Section> sections;
        Section loose;  // entries before the first section heading: passed over
        for (skipSpace(); pos_ < text_.size(); skipSpace()) {
            if (text_[pos_] == '[') {
                sections.push_back(heading());
            } else {
                Entry entry = this->entry();
                (sections.empty() ? loose : sections.back()).entries.push_back(std::move(entry));
            }
        }
        return sections;
    }

private:
    [[noreturn]] void refuse(std::size_t line, const std::string& detail) const {
        throw EdsError(std::string(name_), line, detail);
    }

    // Passes over blanks, line ends and comments.
    void skipSpace() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
            } else if (c == '$') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
                continue;
            } else if (!isBlank(c)) {
                return;
            }
            ++pos_;
        }
    }

    Section heading() {
        const std::size_t end = text_.find_first_of("]\n", pos_);
        if (end == std::string_view::npos || text_[end] != ']') {
            refuse(line_, "the section heading is not closed by ']'");
        }
        Section section{std::string(trimmed(text_.substr(pos_ + 1, end - pos_ - 1))), line_, {}};
        pos_ = end + 1;
        return section;
    }

    Entry entry() {
        Entry entry;
        entry.line = line_;
        const std::size_t end = text_.find_first_of("=\n;$[\"", pos_);
        if (end == std::string_view::npos || text_[end] != '=') {
            const std::size_t shown = std::min(text_.find_first_of("\n$", pos_), text_.size());
            refuse(line_, "expected 'Keyword = value;', found \"" +
                              std::string(trimmed(
                                  text_.substr(pos_, std::min<std::size_t>(shown - pos_, 40)))) +
                              "\"");
        }
        entry.keyword = std::string(trimmed(text_.substr(pos_, end - pos_)));
        pos_ = end + 1;
        for (;;) {
            entry.fields.push_back(field(entry));
            if (pos_ >= text_.size()) {
                refuse(entry.line, "the entry \"" + entry.keyword + "\" is not ended by ';'");
            }
            if (text_[pos_++] == ';') return entry;
        }
    }

    // One field of `entry`, up to (not past) the ',' or ';' that ends it, or to the end of the
    // text. A section heading ends the text an entry may take.
    Field field(const Entry& entry) {
        skipSpace();
        Field field;
        field.line = line_;
        if (pos_ < text_.size() && text_[pos_] == '"') {
            field.quoted = true;
            while (pos_ < text_.size() && text_[pos_] == '"') {
                field.text += quoted();
                skipSpace();
            }
            if (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != ';') {
                refuse(line_, "unexpected text after a string: a field holds one value");
            }
            return field;
        }
        std::string raw;
        while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != ';') {
            const char c = text_[pos_];
            if (c == '"') refuse(line_, "a string must stand alone in its field");
            if (c == '$' || c == '\n') {
                raw += ' ';
                skipSpace();
                if (pos_ < text_.size() && text_[pos_] == '[') {
                    refuse(entry.line, "the entry \"" + entry.keyword + "\" is not ended by ';'");
                }
                continue;
            }
            raw += c;
            ++pos_;
        }
        field.text = std::string(trimmed(raw));
        return field;
    }

    // A string between double quotes, which ends on its own line; \" and \\ stand for " and \.
    std::string quoted() {
        std::string text;
        const std::size_t line = line_;
        for (++pos_; pos_ < text_.size() && text_[pos_] != '"'; ++pos_) {
            char c = text_[pos_];
            if (c == '\n') break;
            if (c == '\\' && pos_ + 1 < text_.size() &&
                (text_[pos_ + 1] == '"' || text_[pos_ + 1] == '\\')) {
                c = text_[++pos_];
            }
            text += c;
        }
        if (pos_ >= text_.size() || text_[pos_] != '"') {
            refuse(line, "the string is not closed on its line");
        }
        ++pos_;
        return text;
    }

    std::string_view text_;
    std::string_view name_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

}  // namespace

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<Section> scan(std::string_view text, std::string_view name) {
    return Scanner(text, name).sections();
}

std::optional<std::int64_t> numberOf(const Field& field) {
    std::string_view text = field.text;
    if (field.quoted || text.empty()) return std::nullopt;
    bool negative = false;
    if (text.front() == '-' || text.front() == '+') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && lower(text[1]) == 'x') {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const char l = lower(c);
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && l >= 'a' && l <= 'f') {
            digit = static_cast<unsigned>(l - 'a' + 10);
        } else {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    const auto signedValue = static_cast<std::int64_t>(value);
    return negative ? -signedValue : signedValue;
}

void refuseCanOpen(std::string_view text, std::string_view name) {
    std::size_t deviceInfoLine = 0;
    std::size_t line = 1;
    for (std::size_t start = 0; start < text.size(); ++line) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view heading = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (!heading.starts_with('[') || !heading.ends_with(']')) continue;
        const std::string_view sectionName = trimmed(heading.substr(1, heading.size() - 2));
        if (sameWord(sectionName, "Device")) return;
        if (sameWord(sectionName, "DeviceInfo") && deviceInfoLine == 0) deviceInfoLine = line;
    }
    if (deviceInfoLine != 0) {
        throw EdsError(std::string(name), deviceInfoLine,
                       "a CANopen data sheet ([DeviceInfo] instead of [Device]); only DeviceNet "
                       "data sheets give a node's sizes");
    }
}

}  // namespace velmora::eds_syntax
