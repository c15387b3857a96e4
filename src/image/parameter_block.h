#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "documents/comm_settings.h"
#include "image/image_decoder.h"
#include "image/image_format.h"

// The parameter block of the configuration image, value by value: the composer writes it, the
// decoder reads it and the image report names it from this one table.
namespace velmora::image_format {

// The framing classes' names, by their value.
inline constexpr std::array<std::string_view, 2> kFramings = {"binary", "ASCII"};

// What a value of the parameter block carries.
enum class ParameterSource : std::uint8_t {
    Setting,     // a value of pargen.xml, its low-order bits
    Framing,     // the framing class of the protocol of pargen.xml
    NodeCount,   // the node records, modulo 256
    ReadCount,   // the read map's records
    WriteCount,  // the write map's records
};

// One value of the parameter block, in the block's order: what it carries, the member of
// DecodedParameters (a byte or a 16-bit word) that holds it decoded, and how reports name it.
struct ParameterSlot {
    ParameterSource source;
    const CommField* setting = nullptr;  // the value of pargen.xml it comes from, if any
    // Whether the composition needs the setting as an integer text; a value not needed codes as
    // 0 when it is missing or not an integer text.
    bool required = true;
    std::uint8_t DecodedParameters::*byte = nullptr;
    std::uint16_t DecodedParameters::*word = nullptr;
    const char* label = nullptr;                   // text report
    const char* key = nullptr;                     // JSON
    std::span<const std::string_view> names = {};  // the meaning of each value; empty for a number

    constexpr std::uint32_t width() const { return byte != nullptr ? 1 : 2; }
    constexpr std::uint32_t valueIn(const DecodedParameters& p) const {
        return byte != nullptr ? p.*byte : p.*word;
    }
    // The setting that the composition cannot do without, or none.
    constexpr const CommField* requiredSetting() const { return required ? setting : nullptr; }
};

constexpr ParameterSlot settingSlot(const CommField& setting, std::uint8_t DecodedParameters::*byte,
                                    const char* label, const char* key, bool required = true) {
    return {
        ParameterSource::Setting, &setting, required, byte, nullptr, label, key, setting.labels};
}

template <typename Member>
constexpr ParameterSlot countSlot(ParameterSource source, Member DecodedParameters::*member,
                                  const char* label, const char* key) {
    ParameterSlot slot{source};
    if constexpr (sizeof(Member) == 1) {
        slot.byte = member;
    } else {
        slot.word = member;
    }
    slot.label = label;
    slot.key = key;
    return slot;
}

// The parameter block, value by value.
inline constexpr std::array<ParameterSlot, 11> kParameterBlock = {{
    settingSlot(commField(&CommSettings::dnetDeviceId), &DecodedParameters::deviceNetId,
                "DeviceNet ID", "deviceNetId"),
    settingSlot(commField(kDnetBaudList), &DecodedParameters::deviceNetBaud, "DeviceNet baud",
                "deviceNetBaud"),
    settingSlot(commField(kSerialBaudList), &DecodedParameters::serialBaud, "Serial baud",
                "serialBaud"),
    settingSlot(commField(kSerialParityList), &DecodedParameters::parity, "Parity", "parity"),
    settingSlot(commField(&CommSettings::serialDeviceId), &DecodedParameters::serialId, "Serial ID",
                "serialId"),
    settingSlot(commField(kSerialLineList), &DecodedParameters::lineType, "Line", "lineType"),
    {ParameterSource::Framing, &commField(kSerialProtocolList), true, &DecodedParameters::framing,
     nullptr, "Framing", "framing", kFramings},
    countSlot(ParameterSource::NodeCount, &DecodedParameters::nodeCount, "Node count", "nodeCount"),
    countSlot(ParameterSource::ReadCount, &DecodedParameters::readCount, "Read records",
              "readCount"),
    countSlot(ParameterSource::WriteCount, &DecodedParameters::writeCount, "Write records",
              "writeCount"),
    // A hardware variant that is missing or not an integer text is the first one.
    settingSlot(commField(kHardwareList), &DecodedParameters::hardware, "Hardware", "hardware",
                false),
}};

static_assert([] {
    std::uint32_t size = 0;
    for (const ParameterSlot& slot : kParameterBlock) size += slot.width();
    return size == kParameterBlockSize;
}());

}  // namespace velmora::image_format
