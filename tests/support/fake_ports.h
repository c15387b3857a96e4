#pragma once

#include <cerrno>
#include <map>
#include <set>
#include <string>

#include "update/port_layer.h"

namespace velmora::test {

// Stands in for the serial ports: the named ports open, others do not; DTR may be refused.
class FakePorts : public PortLayer {
public:
    Handle openDevice(const std::string& name, int& error) override {
        if (!present.contains(name)) {
            error = ENOENT;
            return invalidHandle;
        }
        open[++lastHandle] = name;
        return lastHandle;
    }
    bool isCharacterDevice(Handle) override { return true; }
    void closeDevice(Handle handle) override { open.erase(handle); }
    PortStatus setTimeouts(Handle) override { return PortStatus::success(); }
    PortStatus setLineSettings(Handle, const LineSettings&) override {
        return PortStatus::success();
    }
    PortStatus readLineSettings(Handle, LineSettings& settings, SavedLine*) override {
        settings = LineSettings{};
        return PortStatus::success();
    }
    PortStatus restoreLine(Handle, const SavedLine&) override { return PortStatus::success(); }
    bool isPseudoTerminal(Handle) override { return false; }
    PortStatus setQueueSizes(Handle, std::int32_t, std::int32_t) override {
        return PortStatus::success();
    }
    PortStatus setDTR(Handle handle, bool state) override {
        if (refuseDtr) return PortStatus::failure(EIO);
        dtr[open.at(handle)] = state;
        return PortStatus::success();
    }

    std::set<std::string> present;
    bool refuseDtr = false;
    std::map<Handle, std::string> open;
    std::map<std::string, bool> dtr;
    Handle lastHandle = 2;
};

}  // namespace velmora::test
