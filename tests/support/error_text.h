#pragma once

#include <cerrno>
#include <functional>
#include <string>

#include "core/error.h"

namespace velmora::test {

// The message of the velmora::Error that `action` throws; "" when it throws none.
inline std::string errorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

// The platform's own text for a failure: Windows' for `win32Code` there, the C library's for
// `errnoCode` elsewhere.
inline std::string platformErrorText([[maybe_unused]] int win32Code,
                                     [[maybe_unused]] int errnoCode) {
#ifdef _WIN32
    return nativeErrorText(win32Code);
#else
    return systemErrorText(errnoCode);
#endif
}

// A save into a folder that does not exist (ERROR_PATH_NOT_FOUND on Windows).
inline std::string missingFolderText() { return platformErrorText(3, ENOENT); }
// A save refused to this user (ERROR_ACCESS_DENIED on Windows).
inline std::string refusedText() { return platformErrorText(5, EACCES); }

}  // namespace velmora::test
