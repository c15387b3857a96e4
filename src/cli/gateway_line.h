#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "image/image_decoder.h"
#include "modbus/adu.h"
#include "update/comm_port.h"

namespace velmora::cli {

// The gateway's serial side: the line settings and the Modbus framing on it.
struct GatewayLine {
    LineSettings line;
    modbus::Framing framing = modbus::Framing::Rtu;
};

// The line for `baudRate` and `parity` in `framing`: RTU with 8 data bits and 1 stop bit; ASCII
// with 7 data bits (the character size Modbus ASCII is run with) and 2 stop bits when there is no
// parity bit, so that a character keeps its 10 bits.
GatewayLine gatewayLine(int baudRate, TParity parity, modbus::Framing framing);

// The line parity of a stored parity value (the parity list's letter), or none for a value the
// list does not offer.
std::optional<TParity> lineParity(std::int64_t value);

// The line parity whose text in the parity list `text` is in lower case ("none", "even", "odd");
// none for another text.
std::optional<TParity> parityNamed(std::string_view text);

// Whether the stored serial protocol value `protocol` ("Ser_Prot") names Binary or ASCII, the
// protocols that are not Modbus.
bool isNotModbus(std::int64_t protocol);

// The line the image's parameter block configures: its baud rate and parity, RTU for the binary
// framing class, ASCII for the ASCII one. Throws Error for codes without a meaning.
GatewayLine gatewayLine(const DecodedParameters& parameters);

// The parity list's text for `parity` ("EVEN"), or "unknown" for a parity the list does not offer.
std::string_view parityLabel(TParity parity);

// "19200 baud, parity EVEN, 8 data bits, 1 stop bit".
std::string describeLineSettings(const LineSettings& line);

// describeLineSettings of the line, with "Modbus ASCII, " before it for ASCII.
std::string describeLine(const GatewayLine& line);

// The silence that ends an RTU frame at `baudRate`: 3.5 characters of 11 bits, at least 2 ms.
std::chrono::milliseconds rtuFrameGap(int baudRate);

}  // namespace velmora::cli
