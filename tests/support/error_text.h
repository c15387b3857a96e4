#pragma once

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

}  // namespace velmora::test
