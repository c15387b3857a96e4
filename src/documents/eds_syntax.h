#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The syntax of an Electronic Data Sheet, apart from what its sections mean: sections
// "[Name]", entries "Keyword = field, ... ;" over as many lines as they need, "$" comments.
// Only the data sheet reader includes it.
namespace velmora::eds_syntax {

// True when `a` and `b` differ at most in the case of ASCII letters.
bool sameWord(std::string_view a, std::string_view b);

// `text` without the blanks at either end.
std::string_view trimmed(std::string_view text);

// One field of an entry: its text (the joined strings of a quoted field) and where it began.
struct Field {
    std::string text;
    bool quoted = false;
    std::size_t line = 0;
};

struct Entry {
    std::string keyword;
    std::vector<Field> fields;
    std::size_t line = 0;
};

struct Section {
    std::string name;
    std::size_t line = 0;
    std::vector<Entry> entries;
};

// The sections of `text` (entries before the first heading are dropped); a leading UTF-8
// byte-order mark is passed over. Throws EdsError, naming `name`, where the syntax is broken.
std::vector<Section> scan(std::string_view text, std::string_view name);

// A decimal or hexadecimal ("0x000F") number of at most 32 bits; none for anything else.
std::optional<std::int64_t> numberOf(const Field& field);

// Throws EdsError for a CANopen data sheet: a [DeviceInfo] section and no [Device]. Its entries
// do not end with ';', so it is told by its headings alone.
void refuseCanOpen(std::string_view text, std::string_view name);

}  // namespace velmora::eds_syntax
