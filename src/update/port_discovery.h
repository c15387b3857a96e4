#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velmora::ui {

// Lists the names of the serial ports present, in any order.
using PortLister = std::function<std::vector<std::string>()>;

// The platform's lister: the probe of "\\.\COM1" onwards on Windows ("COMn"), Qt Serial Port's
// enumeration elsewhere (device paths such as "/dev/ttyUSB0"). Qt's enumeration briefly opens
// each 8250 port (/dev/ttyS*) read-only to tell a real one from a placeholder, so tests never
// call it: they hand a substitute lister to whatever would call it.
std::vector<std::string> systemPortNames();

// The serial ports present, by the names handed to TComm::Open and to the updater, in natural
// order ("COM2" before "COM10", "/dev/ttyS2" before "/dev/ttyS10"). Leaves no port open and
// reports nothing.
std::vector<std::string> EnumerateComPorts(const PortLister& lister = systemPortNames);

// The upper bound of the Windows COM probe: 256 in the Windows NT family, 9 outside it.
int comPortProbeBound(bool ntFamily);

// What opening "\\.\COMn" found.
enum class ComProbe { opened, accessDenied, absent };

// The numbers 1..`bound`, ascending, whose probe found a port (opened, or held by another
// program); `probe` must release what it opened.
template <class Probe>
std::vector<int> presentComPorts(int bound, Probe&& probe) {
    std::vector<int> present;
    for (int n = 1; n <= bound; ++n) {
        if (probe(n) != ComProbe::absent) present.push_back(n);
    }
    return present;
}

// Whether `a` comes before `b` when runs of digits compare as numbers ("ttyS2" before "ttyS10").
bool naturalLess(const std::string& a, const std::string& b);

}  // namespace velmora::ui
