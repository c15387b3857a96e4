#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/project_layout.h"
#include "documents/comm_lists.h"
#include "documents/comm_settings_format.h"
#include "documents/register_map_format.h"

// The layout of the configuration image and the meaning of its coded bytes.
namespace velmora::image_format {

// The image never grows past this many bytes.
inline constexpr std::size_t kCapacity = 100'004;

inline constexpr std::uint32_t kHeaderSize = 16;
inline constexpr std::uint32_t kNodeRecordSize = 9;
inline constexpr std::uint32_t kMapRecordSize = 7;
inline constexpr std::uint32_t kParameterBlockSize = 13;

// Header words: the byte offsets of the four sections.
inline constexpr std::uint32_t kNodeTableOffsetAt = 0;
inline constexpr std::uint32_t kReadMapOffsetAt = 4;
inline constexpr std::uint32_t kWriteMapOffsetAt = 8;
inline constexpr std::uint32_t kParametersOffsetAt = 12;

// The documents of a project folder.
inline constexpr std::string_view kDNetNetFile = project_layout::kDNetNetFile;
inline constexpr std::string_view kDefRegFile = project_layout::kDefRegFile;
inline constexpr std::string_view kParGenFile = project_layout::kParGenFile;
inline constexpr std::string_view kBinFolder = project_layout::kBinFolder;
inline constexpr std::string_view kImageFile = project_layout::kImageFile;

// Names of the documents' elements and attributes, as their own modules define them.
inline constexpr const char* kNodeId = register_map_format::kNodeId;
inline constexpr const char* kNodeBytesIn = register_map_format::kNodeBytesIn;
inline constexpr const char* kNodeBytesOut = register_map_format::kNodeBytesOut;
inline constexpr const char* kReadList = register_map_format::kReadList;
inline constexpr const char* kWriteList = register_map_format::kWriteList;
inline constexpr const char* kRowIndex = register_map_format::kIndex;
inline constexpr const char* kRowPosComp = register_map_format::kPosComp;
inline constexpr const char* kRowNode = register_map_format::kNrDNNode;

// Framing class by protocol (low 8 bits of "Ser_Prot"): 0 binary, 1 ASCII.
inline constexpr auto kFramingClassByProtocol = [] {
    std::array<std::uint8_t, kSerialProtocolList.size()> classes{};
    for (std::size_t i = 0; i < classes.size(); ++i) {
        classes[i] = static_cast<std::uint8_t>(kSerialProtocolList.items[i].meaning.framing);
    }
    return classes;
}();
// A protocol outside the table is shown as "ASCII" by the settings dialog, so it frames as ASCII.
inline constexpr std::uint8_t kFramingClassOtherProtocol =
    static_cast<std::uint8_t>(SerialFraming::Ascii);

}  // namespace velmora::image_format
