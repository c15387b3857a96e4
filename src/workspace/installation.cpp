#include "workspace/installation.h"

#include <cstdlib>
#include <system_error>

#include "core/path_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace velmora {

namespace {

std::optional<fs::path> absoluteFolder(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    fs::path folder = pathFromText(*text);
    // A relative value is not a valid base folder: it would move with the working folder.
    if (!folder.is_absolute()) return std::nullopt;
    return folder;
}

}  // namespace

std::optional<std::string> processEnvironment(std::string_view name) {
#ifdef _WIN32
    const std::wstring wide(name.begin(), name.end());
    const wchar_t* value = _wgetenv(wide.c_str());
    if (!value) return std::nullopt;
    return pathText(fs::path(value));
#else
    const char* value = std::getenv(std::string(name).c_str());
    if (!value) return std::nullopt;
    return std::string(value);
#endif
}

bool mayWriteFolder(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return false;
#ifdef _WIN32
    // Folder permissions on Windows live in access lists that no attribute shows: try it.
    const fs::path probe = folder / L".velmora-write-probe";
    HANDLE handle = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
#else
    // access() answers for this user and also refuses a read-only mount, without writing.
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
#endif
}

std::optional<fs::path> perUserFolder(const EnvironmentLookup& environment) {
#ifdef _WIN32
    if (auto base = absoluteFolder(environment("LOCALAPPDATA"))) return *base / "Velmora";
    return std::nullopt;
#else
    if (auto base = absoluteFolder(environment("XDG_DATA_HOME"))) return *base / "velmora";
    if (auto home = absoluteFolder(environment("HOME"))) {
        return *home / ".local" / "share" / "velmora";
    }
    return std::nullopt;
#endif
}

fs::path chooseInstallationFolder(const fs::path& programFolder,
                                  const EnvironmentLookup& environment) {
    if (mayWriteFolder(programFolder)) return programFolder;
    const auto folder = perUserFolder(environment);
    if (!folder) return programFolder;
    std::error_code ec;
    fs::create_directories(*folder, ec);
    if (!fs::is_directory(*folder, ec)) return programFolder;
    return *folder;
}

}  // namespace velmora
