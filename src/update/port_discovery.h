#pragma once

#include <string>
#include <vector>

namespace velmora::ui {

// The serial ports present, by the names handed to TComm::Open and to the updater: "COMn" in
// ascending number on Windows, device paths such as "/dev/ttyUSB0" in natural order elsewhere.
// Leaves no port open and reports nothing.
std::vector<std::string> EnumerateComPorts();

// Whether `a` comes before `b` when runs of digits compare as numbers ("ttyS2" before "ttyS10").
bool naturalLess(const std::string& a, const std::string& b);

// `names` in natural order.
std::vector<std::string> sortedNaturally(std::vector<std::string> names);

}  // namespace velmora::ui
