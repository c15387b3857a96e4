#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::modbus::test {

using Bytes = std::vector<std::uint8_t>;

// Bytes from hexadecimal pairs, blanks between them allowed: "11 03 00 6B".
inline Bytes hex(std::string_view text) {
    Bytes bytes;
    std::string pair;
    for (const char c : text) {
        if (c == ' ') continue;
        pair += c;
        if (pair.size() == 2) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(pair, nullptr, 16)));
            pair.clear();
        }
    }
    return bytes;
}

// Bytes of a text as it travels, for ASCII frames.
inline Bytes text(std::string_view chars) { return {chars.begin(), chars.end()}; }

}  // namespace velmora::modbus::test
