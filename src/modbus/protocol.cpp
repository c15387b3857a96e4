#include "modbus/protocol.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace velmora::modbus {

namespace {

// Every exception code the protocol names, with its name.
constexpr std::array<std::pair<std::uint8_t, std::string_view>, 9> kExceptionNames = {{
    {kIllegalFunction, "illegal function"},
    {kIllegalDataAddress, "illegal data address"},
    {kIllegalDataValue, "illegal data value"},
    {kServerDeviceFailure, "server device failure"},
    {kAcknowledge, "acknowledge"},
    {kServerDeviceBusy, "server device busy"},
    {kMemoryParityError, "memory parity error"},
    {kGatewayPathUnavailable, "gateway path unavailable"},
    {kGatewayTargetFailed, "gateway target device failed to respond"},
}};

const std::string_view* namedException(std::uint8_t code) {
    const auto found =
        std::ranges::find(kExceptionNames, code, &decltype(kExceptionNames)::value_type::first);
    return found == kExceptionNames.end() ? nullptr : &found->second;
}

}  // namespace

std::string exceptionName(std::uint8_t code) {
    const std::string_view* name = namedException(code);
    return name ? std::string(*name) : "exception " + std::to_string(code);
}

std::string exceptionText(std::uint8_t code) {
    const std::string_view* name = namedException(code);
    std::string text = "exception " + std::to_string(code);
    return name ? text + " (" + std::string(*name) + ")" : text;
}

bool isTransientException(std::uint8_t code) {
    return code == kAcknowledge || code == kServerDeviceBusy || code == kGatewayPathUnavailable ||
           code == kGatewayTargetFailed;
}

}  // namespace velmora::modbus
