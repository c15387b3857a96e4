#include "image/device_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/example_project.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

// Each node keeps its own row's mnemonic: a row without one leaves the rows after it theirs,
// rows past the 64 that the dialog shows included.
TEST(DeviceMap, EachNodeHasItsOwnRowsMnemonic) {
    test::TempDir dir;
    std::string nodes = R"(<DNET_Net><row ID="3" NB_IN="4" NB_OUT="4"/>)"
                        R"(<row ID="12" NB_IN="2" NB_OUT="2" Mnemonic="Valves"/>)";
    for (int i = 3; i <= 65; ++i) {
        nodes += R"(<row ID="1" NB_IN="0" NB_OUT="0" Mnemonic="m)" + std::to_string(i) + R"("/>)";
    }
    test::writeProject(dir.path(), nodes + "</DNET_Net>", "", "");
    const DeviceMap map = readDeviceMap(dir.path());
    ASSERT_EQ(map.nodes.size(), 65u);
    EXPECT_EQ(map.nodes[0].mnemonic, "");
    EXPECT_EQ(map.nodes[1].mnemonic, "Valves");
    EXPECT_EQ(map.nodes[64].mnemonic, "m65");
}

// The dropped rows of one list on one node are one entry: its first row, with the others
// counted.
TEST(DeviceMap, DroppedRowsOfOneNodeAreOneEntry) {
    test::TempDir dir;
    test::writeProject(dir.path(), test::kExampleNodes,
                       R"(<InfoMod><Modbus_Read><row Index="9" NrDNNode="4" PosComp="1"/>)"
                       R"(<row Index="2" NrDNNode="3" PosComp="1"/>)"
                       R"(<row Index="1" NrDNNode="4" PosComp="1"/>)"
                       R"(<row Index="x" NrDNNode="4" PosComp="1"/></Modbus_Read>)"
                       R"(<Modbus_Write><row Index="5" NrDNNode="4" PosComp="1"/>)"
                       R"(</Modbus_Write></InfoMod>)",
                       test::kExampleSettings);
    const DeviceMap map = readDeviceMap(dir.path());
    const auto entry = [](const DroppedRegister& d) {
        return std::to_string(d.row) + " node " + std::to_string(d.node) + " index " + d.index +
               " +" + std::to_string(d.moreRows);
    };
    std::vector<std::string> read;
    for (const DroppedRegister& d : map.droppedRead) read.push_back(entry(d));
    EXPECT_EQ(read, (std::vector<std::string>{"1 node 4 index 9 +2", "2 node 3 index 2 +0"}));
    ASSERT_EQ(map.droppedWrite.size(), 1u);
    EXPECT_EQ(entry(map.droppedWrite[0]), "1 node 4 index 5 +0");
}

}  // namespace
}  // namespace velmora
