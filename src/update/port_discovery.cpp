#include "update/port_discovery.h"

#include <algorithm>
#include <cstddef>

#ifdef _WIN32
#include "update/comm_port.h"
#else
#include <QSerialPortInfo>
#endif

namespace velmora::ui {

bool naturalLess(const std::string& a, const std::string& b) { return a < b; }

std::vector<std::string> sortedNaturally(std::vector<std::string> names) {
    std::stable_sort(names.begin(), names.end(), naturalLess);
    return names;
}

std::vector<std::string> EnumerateComPorts() {
    std::vector<std::string> names;
#ifdef _WIN32
    for (int n : probeWindowsComPorts()) names.push_back("COM" + std::to_string(n));
#else
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        names.push_back(info.systemLocation().toStdString());
    }
    names = sortedNaturally(std::move(names));
#endif
    return names;
}

}  // namespace velmora::ui
