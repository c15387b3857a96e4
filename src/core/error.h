#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

// A failure a command does not handle itself; what() is the text shown to the user.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace velmora
