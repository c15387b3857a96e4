#include "cli/gateway_line.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "core/error.h"
#include "documents/comm_lists.h"

namespace velmora::cli {

namespace {

// The line parity each letter of the parity list stands for.
constexpr std::array<std::pair<char, TParity>, 3> kParityByLetter = {
    {{'N', TParity::paNone}, {'E', TParity::paEven}, {'O', TParity::paOdd}}};

}  // namespace

std::string_view parityLabel(TParity parity) {
    for (const auto& item : kSerialParityList.items) {
        if (lineParity(item.value) == parity) return item.label;
    }
    return "unknown";
}

std::optional<TParity> lineParity(std::int64_t value) {
    const auto letter = kSerialParityList.meaningOf(value);
    if (!letter) return std::nullopt;
    for (const auto& [named, parity] : kParityByLetter) {
        if (named == *letter) return parity;
    }
    return std::nullopt;
}

std::optional<TParity> parityNamed(std::string_view text) {
    for (const auto& item : kSerialParityList.items) {
        const bool named = std::ranges::equal(item.label, text, [](char listed, char given) {
            return std::tolower(static_cast<unsigned char>(listed)) == given;
        });
        if (named) return lineParity(item.value);
    }
    return std::nullopt;
}

bool isNotModbus(std::int64_t protocol) {
    const auto meaning = kSerialProtocolList.meaningOf(protocol);
    return meaning && (meaning->protocol == SerialProtocol::Binary ||
                       meaning->protocol == SerialProtocol::Ascii);
}

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
    const auto baud = kSerialBaudList.meaningOf(parameters.serialBaud);
    const auto parity = lineParity(parameters.parity);
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
    return gatewayLine(*baud, *parity,
                       parameters.framing == 1 ? modbus::Framing::Ascii : modbus::Framing::Rtu);
}

std::string describeLineSettings(const LineSettings& line) {
    return std::to_string(line.baudRate) + " baud, parity " +
           std::string(parityLabel(line.parity)) + ", " + std::to_string(line.dataBits) +
           " data bits, " + (line.stopBits == TStopbits::sb20 ? "2 stop bits" : "1 stop bit");
}

std::string describeLine(const GatewayLine& gateway) {
    return std::string(gateway.framing == modbus::Framing::Ascii ? "Modbus ASCII, " : "") +
           describeLineSettings(gateway.line);
}

std::chrono::milliseconds rtuFrameGap(int baudRate) {
    using namespace std::chrono_literals;
    const auto micros = 3'500'000LL * 11 / std::max(baudRate, 1);
    return std::max(2ms, std::chrono::milliseconds((micros + 999) / 1000));
}

}  // namespace velmora::cli
