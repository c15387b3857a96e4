#include <QSerialPortInfo>

#include <string>
#include <vector>

#include "update/port_discovery.h"

namespace velmora::ui {

// Qt Serial Port's enumeration, which knows USB adapters, udev and sysfs.
std::vector<std::string> systemPortNames() {
    std::vector<std::string> names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        names.push_back(info.systemLocation().toStdString());
    }
    return names;
}

}  // namespace velmora::ui
