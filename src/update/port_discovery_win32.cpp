#include <windows.h>

#include <string>
#include <vector>

#include "update/port_discovery.h"

namespace velmora::ui {

namespace {

bool isNtFamily() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#elif defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    if (!GetVersionExA(&info)) return true;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

ComProbe probeComPort(int number) {
    const std::string path = "\\\\.\\COM" + std::to_string(number);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return ComProbe::opened;
    }
    return GetLastError() == ERROR_ACCESS_DENIED ? ComProbe::accessDenied : ComProbe::absent;
}

}  // namespace

// The COM probe: "\\.\COM1" up to the platform's bound.
std::vector<std::string> systemPortNames() {
    std::vector<std::string> names;
    for (int n : presentComPorts(comPortProbeBound(isNtFamily()), probeComPort)) {
        names.push_back("COM" + std::to_string(n));
    }
    return names;
}

}  // namespace velmora::ui
