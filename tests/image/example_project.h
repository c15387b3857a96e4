#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "support/temp_dir.h"

// Small projects shared by the image, CLI and Update Device tests.
namespace velmora::test {

// Two nodes: ID 5 with 4 in and 2 out bytes; ID 9 with 8 in and 6 out bytes.
inline constexpr std::string_view kExampleNodes =
    R"(<DNET_Net><row ID="5" NB_IN="4" NB_OUT="2" Mnemonic="Drive"/>)"
    R"(<row ID="9" NB_IN="8" NB_OUT="6" Mnemonic=""/></DNET_Net>)";
// Two read rows (the second names node 3 of 2) and one write row.
inline constexpr std::string_view kExampleMap =
    R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="0"/>)"
    R"(<row Index="7" NrDNNode="3" PosComp="3"/></Modbus_Read>)"
    R"(<Modbus_Write><row Index="100" NrDNNode="2" PosComp="2"/></Modbus_Write></InfoMod>)";
inline constexpr std::string_view kExampleSettings =
    "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud>"
    "<Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot>"
    "<HW_Type>0</HW_Type></Par_Gen>";

// The image of the example project, in hexadecimal.
inline constexpr std::string_view kExampleImage =
    "10 00 00 00 22 00 00 00 29 00 00 00 30 00 00 00 "
    "05 04 00 02 00 00 00 00 00 "
    "09 08 00 06 00 04 00 02 00 "
    "00 00 00 00 00 00 00 "
    "64 00 02 00 00 00 01 "
    "14 02 07 00 01 01 00 02 01 00 01 00 00";

// Writes whichever of the three documents is given (non-empty) and makes the bin folder.
inline void writeProject(const std::filesystem::path& dir, std::string_view nodes,
                         std::string_view map, std::string_view settings) {
    if (!nodes.empty()) writeText(dir / "DNET_Net.xml", nodes);
    if (!map.empty()) writeText(dir / "DefReg.xml", map);
    if (!settings.empty()) writeText(dir / "pargen.xml", settings);
    std::filesystem::create_directories(dir / "bin");
}

inline void writeExampleProject(const std::filesystem::path& dir) {
    writeProject(dir, kExampleNodes, kExampleMap, kExampleSettings);
}

// Bytes as lowercase hexadecimal pairs separated by blanks.
inline std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string s;
    for (const std::uint8_t b : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", b);
        if (!s.empty()) s += ' ';
        s += pair;
    }
    return s;
}

inline std::string hexBytes(std::string_view bytes) {
    return hexBytes(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace velmora::test
