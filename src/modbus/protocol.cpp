#include "modbus/protocol.h"

namespace velmora::modbus {

std::string exceptionName(std::uint8_t code) {
    switch (code) {
        case kIllegalFunction:
            return "illegal function";
        case kIllegalDataAddress:
            return "illegal data address";
        case kIllegalDataValue:
            return "illegal data value";
        case 4:
            return "server device failure";
        default:
            return "exception " + std::to_string(code);
    }
}

}  // namespace velmora::modbus
