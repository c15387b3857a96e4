#include <windows.h>

#include <string>
#include <system_error>

#include "update/process_layer.h"

namespace velmora {

namespace {

HANDLE asHandle(ProcessLayer::Handle handle) { return reinterpret_cast<HANDLE>(handle); }

class Win32ProcessLayer final : public ProcessLayer {
public:
    std::error_code start(const std::filesystem::path& program, const UpdaterArguments& arguments,
                          Started& started) override {
        const std::wstring file = program.wstring();
        const std::string line = updaterParameterLine(arguments);
        std::wstring wideLine(
            static_cast<std::size_t>(MultiByteToWideChar(
                CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0)),
            L'\0');
        MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), wideLine.data(),
                            static_cast<int>(wideLine.size()));
        // The program's own name comes first, as a shell would put it; the parameter line
        // follows exactly as it stands.
        std::wstring commandLine = L"\"" + file + L"\" " + wideLine;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info)) {
            // A Win32 code: the C library's errno texts would misname it (5, access denied,
            // reads as an input/output error there).
            return {static_cast<int>(GetLastError()), std::system_category()};
        }
        CloseHandle(info.hThread);
        started = {reinterpret_cast<Handle>(info.hProcess), info.dwProcessId};
        return {};
    }

    // The process object tells its end; an exit code never stands for "still running".
    bool ended(Handle process) override {
        return WaitForSingleObject(asHandle(process), 0) == WAIT_OBJECT_0;
    }

    // The handle only: the process goes on.
    void release(Handle process, bool) override { CloseHandle(asHandle(process)); }
};

}  // namespace

std::shared_ptr<ProcessLayer> defaultProcessLayer() {
    static const std::shared_ptr<ProcessLayer> layer = std::make_shared<Win32ProcessLayer>();
    return layer;
}

}  // namespace velmora
