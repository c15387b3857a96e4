#include "cli/gateway_line.h"

#include <algorithm>

#include "core/error.h"
#include "image/image_format.h"

namespace velmora::cli {

GatewayLine gatewayLine(int baudRate, TParity parity, modbus::Framing framing) {
    GatewayLine gateway;
    gateway.framing = framing;
    gateway.line.baudRate = baudRate;
    gateway.line.parity = parity;
    if (framing == modbus::Framing::Ascii) {
        gateway.line.dataBits = 7;
        if (parity == TParity::paNone) gateway.line.stopBits = TStopbits::sb20;
    }
    return gateway;
}

GatewayLine gatewayLine(const DecodedParameters& parameters) {
    namespace fmt = image_format;
    const auto baud = fmt::meaningOf(fmt::kSerialBauds, parameters.serialBaud);
    const auto parity = fmt::meaningOf(fmt::kParities, parameters.parity);
    if (!baud)
        throw Error("the image's serial baud rate code " + std::to_string(parameters.serialBaud) +
                    " has no meaning");
    if (!parity)
        throw Error("the image's parity code " + std::to_string(parameters.parity) +
                    " has no meaning");
    if (parameters.framing > 1) {
        throw Error("the image's framing code " + std::to_string(parameters.framing) +
                    " has no meaning (0 binary, 1 ASCII)");
    }
    return gatewayLine(std::stoi(std::string(*baud)),
                       parameters.parity == 1   ? TParity::paEven
                       : parameters.parity == 2 ? TParity::paOdd
                                                : TParity::paNone,
                       parameters.framing == 1 ? modbus::Framing::Ascii : modbus::Framing::Rtu);
}

std::string describeLine(const GatewayLine& gateway) {
    const LineSettings& line = gateway.line;
    const std::string parity = line.parity == TParity::paEven  ? "EVEN"
                               : line.parity == TParity::paOdd ? "ODD"
                                                               : "NONE";
    return std::string(gateway.framing == modbus::Framing::Ascii ? "Modbus ASCII, " : "") +
           std::to_string(line.baudRate) + " baud, parity " + parity + ", " +
           std::to_string(line.dataBits) + " data bits, " +
           (line.stopBits == TStopbits::sb20 ? "2 stop bits" : "1 stop bit");
}

std::chrono::milliseconds rtuFrameGap(int baudRate) {
    using namespace std::chrono_literals;
    const auto micros = 3'500'000LL * 11 / std::max(baudRate, 1);
    return std::max(2ms, std::chrono::milliseconds((micros + 999) / 1000));
}

}  // namespace velmora::cli
