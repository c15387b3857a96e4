#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace velmora::cli {

// `text` as a JSON string, quotes included; control characters escaped.
std::string jsonString(std::string_view text);

// `count` and `word`, the word taking an "s" unless the count is 1: "1 node", "2 bytes"; or
// `words` where that is given: "2 repeated indexes".
std::string plural(std::size_t count, std::string_view word, std::string_view words = {});

// A CSV field, quoted when it holds a comma, a quote or a line break, its quotes doubled.
std::string csvField(std::string_view text);

// A free text as a CSV field: one that begins with =, +, -, @, a tab or a carriage return gets
// a leading apostrophe, so that a spreadsheet shows it instead of running it as a formula.
std::string csvText(std::string_view text);

// `when` in the machine's time zone.
std::tm localTime(std::time_t when);

// A local time stamp with milliseconds, as "2026-12-10 13:45:31.123".
std::string timeStamp(
    std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

}  // namespace velmora::cli
