#include "image/composer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "core/error.h"
#include "image/example_project.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::hexBytes;

// A pargen.xml with the example's values but for the protocol, the HW_Type element (possibly
// none), the serial ID and the DeviceNet baud.
std::string settingsWith(std::string_view protocol,
                         std::string_view hardwareElement = "<HW_Type>0</HW_Type>",
                         std::string_view serialId = "1", std::string_view deviceNetBaud = "2") {
    return "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>" + std::string(deviceNetBaud) +
           "</DNET_BAUD><Ser_Baud>7</Ser_Baud><Ser_Par>0</Ser_Par><Ser_ID>" +
           std::string(serialId) + "</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>" +
           std::string(protocol) + "</Ser_Prot>" + std::string(hardwareElement) + "</Par_Gen>";
}

// `count` register rows of node 1 in the read list, none in the write list.
std::string mapWithReadRows(std::size_t count) {
    std::string xml = "<InfoMod><Modbus_Read>";
    for (std::size_t i = 0; i < count; ++i) {
        xml += R"(<row Index=")" + std::to_string(i) + R"(" NrDNNode="1" PosComp="65537"/>)";
    }
    return xml + "</Modbus_Read><Modbus_Write/></InfoMod>";
}

std::string nodes(std::size_t count) {
    std::string xml = "<DNET_Net>";
    for (std::size_t i = 0; i < count; ++i)
        xml += R"(<row ID="1" NB_IN="2" NB_OUT="2" Mnemonic=""/>)";
    return xml + "</DNET_Net>";
}

class Composer : public ::testing::Test {
protected:
    std::string compose() {
        ComposeConfigImage(image, dir.path());
        return hexBytes(image.bytes());
    }
    // The parameter block's byte at `offset` after composing `settings` alone.
    std::uint8_t parameterByte(const std::string& settings, std::size_t offset) {
        test::writeProject(dir.path(), "", "", settings);
        ComposeConfigImage(image, dir.path());
        EXPECT_EQ(image.length, 29u);
        return image.buffer[16 + offset];
    }
    std::string composeError() {
        try {
            ComposeConfigImage(image, dir.path());
        } catch (const Error& e) {
            EXPECT_FALSE(image.complete);
            return e.what();
        }
        ADD_FAILURE() << "no error";
        return {};
    }

    test::TempDir dir;
    ConfigImage image;
};

TEST_F(Composer, WorkedExampleGivesItsSixtyOneBytes) {
    test::writeExampleProject(dir.path());
    const CompositionSummary summary = ComposeConfigImage(image, dir.path());
    EXPECT_EQ(hexBytes(image.bytes()), test::kExampleImage);
    EXPECT_EQ(summary.nodes, 2u);
    EXPECT_EQ(summary.readRecords, 1u);
    EXPECT_EQ(summary.writeRecords, 1u);
    EXPECT_EQ(summary.bytes, 61u);

    SaveConfigImage(image, dir.path());
    EXPECT_EQ(hexBytes(test::readText(dir / "bin" / "bank.bin")), test::kExampleImage);
}

TEST_F(Composer, ReadsIndentedDocumentsWithAnyRootAndRowNames) {
    test::writeProject(
        dir.path(),
        "<Net>\n  <node ID=\"5\" NB_IN=\"4\" NB_OUT=\"2\"/>\n  <x ID=\"9\" NB_IN=\"8\" "
        "NB_OUT=\"6\"/>\n</Net>\n",
        "<Map>\n <Modbus_Write>\n  <r Index=\"100\" NrDNNode=\"2\" PosComp=\"2\"/>\n "
        "</Modbus_Write>\n"
        " <Modbus_Read>\n  <row Index=\"0\" NrDNNode=\"1\" PosComp=\"0\"/>\n"
        "  <row Index=\"7\" NrDNNode=\"3\" PosComp=\"3\"/>\n </Modbus_Read>\n</Map>\n",
        "<?xml version=\"1.0\"?>\n<P>\n <DNET_DEV_ID>20</DNET_DEV_ID>\n <DNET_BAUD>2</DNET_BAUD>\n"
        " <Ser_Baud>7</Ser_Baud>\n <Ser_Par>0</Ser_Par>\n <Ser_ID>1</Ser_ID>\n"
        " <Ser_Type>1</Ser_Type>\n <Ser_Prot>0</Ser_Prot>\n <HW_Type>0</HW_Type>\n</P>\n");
    EXPECT_EQ(compose(), test::kExampleImage);
}

TEST_F(Composer, MissingDocumentsLeaveTheirSectionsEmpty) {
    struct Case {
        const char* name;
        bool withNodes;
        bool withSettings;
        std::string expected;
    };
    const Case cases[] = {
        {"no documents", false, false, "10 00 00 00 10 00 00 00 10 00 00 00 10 00 00 00"},
        {"only pargen", false, true,
         "10 00 00 00 10 00 00 00 10 00 00 00 10 00 00 00 14 02 07 00 01 01 00 00 00 00 00 00 00"},
        {"only two nodes", true, false,
         "10 00 00 00 22 00 00 00 22 00 00 00 22 00 00 00 05 04 00 02 00 00 00 00 00 "
         "09 08 00 06 00 04 00 02 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir / "DNET_Net.xml");
        fs::remove(dir / "pargen.xml");
        test::writeProject(dir.path(), c.withNodes ? test::kExampleNodes : "", "",
                           c.withSettings ? test::kExampleSettings : "");
        EXPECT_EQ(compose(), c.expected);
    }
}

TEST_F(Composer, KeepsRowsUpToTheNodeCountAndDropsTheOthersUncounted) {
    test::writeProject(
        dir.path(), test::kExampleNodes,
        R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="2" PosComp="196612"/>)"
        R"(<row Index="2" NrDNNode="3" PosComp="1"/><row Index="3" NrDNNode="$7FFFFFFF"/></Modbus_Read>)"
        R"(<Modbus_Write><row Index="0x10" NrDNNode="1" PosComp="-1"/></Modbus_Write></InfoMod>)",
        test::kExampleSettings);
    const std::string hex = compose();
    // Read record: index 1, PosComp 196612 (bytes 3 and 4), node position 1; the two rows naming
    // nodes 3 and 2^31-1 are skipped without reading their other attributes.
    EXPECT_EQ(hex.substr(3 * 34, 3 * 7 - 1), "01 00 04 00 03 00 01");
    // Write record: index 16, PosComp all 32 bits, node position 0.
    EXPECT_EQ(hex.substr(3 * 41, 3 * 7 - 1), "10 00 ff ff ff ff 00");
    EXPECT_EQ(image.length, 61u);
    // Node count 2, one read record, one write record.
    EXPECT_EQ(hex.substr(3 * 55, 3 * 5 - 1), "02 01 00 01 00");
}

TEST_F(Composer, StoresTheLowOrderBitsOfEveryField) {
    test::writeProject(
        dir.path(),
        R"(<DNET_Net><row ID="300" NB_IN="40000" NB_OUT="$FFFF"/>)"
        R"(<row ID="-1" NB_IN="30000" NB_OUT="2"/><row ID="7" NB_IN="70000" NB_OUT="0"/></DNET_Net>)",
        R"(<InfoMod><Modbus_Read><row Index="65537" NrDNNode="3" PosComp="0"/></Modbus_Read><Modbus_Write/></InfoMod>)",
        "");
    EXPECT_EQ(compose(),
              "10 00 00 00 2b 00 00 00 32 00 00 00 32 00 00 00 "
              "2c 40 9c ff ff 00 00 00 00 "  // 300 -> 44; input and output start at 0
              "ff 30 75 02 00 40 9c ff ff "  // -1 -> 255; starts 40000 and 65535
              "07 70 11 00 00 70 11 01 00 "  // 70000 -> 4464; 70000 and 65537 wrap
              "01 00 00 00 00 00 02");       // index 65537 -> 1, node position 2
}

TEST_F(Composer, EncodesTheParameterBlock) {
    struct Case {
        const char* name;
        std::string settings;
        std::size_t offset;
        std::uint8_t expected;
    };
    const Case cases[] = {
        {"Ser_ID 300 as 44", settingsWith("0", "<HW_Type>0</HW_Type>", "300"), 4, 44},
        {"DNET_BAUD -1 as 255", settingsWith("0", "<HW_Type>0</HW_Type>", "1", "-1"), 1, 255},
        {"hexadecimal text", settingsWith("0", "<HW_Type>0</HW_Type>", "$F7"), 4, 247},
        {"Modbus RTU binary", settingsWith("0"), 6, 0},
        {"Modbus ASCII ASCII", settingsWith("1"), 6, 1},
        {"JBUS binary", settingsWith("2"), 6, 0},
        {"Binary binary", settingsWith("3"), 6, 0},
        {"ASCII ASCII", settingsWith("4"), 6, 1},
        {"protocol 7 frames as ASCII", settingsWith("7"), 6, 1},
        {"protocol -1 frames as ASCII", settingsWith("-1"), 6, 1},
        {"protocol 259 is protocol 3", settingsWith("259"), 6, 0},
        {"hardware B2", settingsWith("0", "<HW_Type>1</HW_Type>"), 12, 1},
        {"no HW_Type", settingsWith("0", ""), 12, 0},
        {"HW_Type not an integer", settingsWith("0", "<HW_Type>B2</HW_Type>"), 12, 0},
        {"HW_Type with markup", settingsWith("0", "<HW_Type><x/></HW_Type>"), 12, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parameterByte(c.settings, c.offset), c.expected);
    }
}

TEST_F(Composer, SameDocumentsGiveTheSameImageWhateverCameBefore) {
    test::writeProject(dir.path(), "", "", settingsWith("9"));
    ConfigImage fresh;
    ComposeConfigImage(fresh, dir.path());

    // Whatever an earlier composition left in the buffer.
    std::fill(image.buffer.begin(), image.buffer.end(), std::uint8_t{0xAA});
    compose();
    EXPECT_EQ(hexBytes(image.bytes()), hexBytes(fresh.bytes()));
    EXPECT_EQ(image.buffer[16 + 6], 1);
}

TEST_F(Composer, AStaleTailIsNeverSaved) {
    test::writeExampleProject(dir.path());
    compose();
    SaveConfigImage(image, dir.path());
    fs::remove(dir / "DNET_Net.xml");
    fs::remove(dir / "DefReg.xml");
    fs::remove(dir / "pargen.xml");
    compose();
    SaveConfigImage(image, dir.path());
    EXPECT_EQ(hexBytes(test::readText(dir / "bin" / "bank.bin")),
              "10 00 00 00 10 00 00 00 10 00 00 00 10 00 00 00");
}

TEST_F(Composer, ErrorsNameTheDocumentRowAndValue) {
    struct Case {
        const char* name;
        std::string nodes;
        std::string map;
        std::string settings;
        std::string expected;
    };
    const std::string goodNodes(test::kExampleNodes);
    const std::string goodMap(test::kExampleMap);
    const std::string goodSettings(test::kExampleSettings);
    const Case cases[] = {
        {"no Modbus_Write", goodNodes, "<InfoMod><Modbus_Read/></InfoMod>", goodSettings,
         R"(DefReg.xml: element "Modbus_Write" is missing under the root)"},
        {"no Modbus_Read", goodNodes, "<InfoMod><Modbus_Write/></InfoMod>", goodSettings,
         R"(DefReg.xml: element "Modbus_Read" is missing under the root)"},
        {"node without NB_OUT",
         R"(<DNET_Net><row ID="1" NB_IN="1" NB_OUT="1"/><row ID="2" NB_IN="1"/></DNET_Net>)", "",
         "", R"(DNET_Net.xml, row 2: attribute "NB_OUT" is missing)"},
        {"ID with a trailing blank", R"(<DNET_Net><row ID="5 " NB_IN="1" NB_OUT="1"/></DNET_Net>)",
         "", "", R"(DNET_Net.xml, row 1: attribute "ID" is not an integer: "5 ")"},
        {"comment among the nodes", "<DNET_Net><!-- x --></DNET_Net>", "", "",
         R"(DNET_Net.xml, row 1: node "#comment" is not an element)"},
        {"NrDNNode 0", goodNodes,
         R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="1" PosComp="0"/><row Index="2" NrDNNode="0" PosComp="0"/></Modbus_Read><Modbus_Write/></InfoMod>)",
         "",
         R"(DefReg.xml, Modbus_Read row 2: attribute "NrDNNode" is 0, but node positions start at 1)"},
        {"NrDNNode negative", goodNodes,
         R"(<InfoMod><Modbus_Read/><Modbus_Write><row Index="1" NrDNNode="-1" PosComp="0"/></Modbus_Write></InfoMod>)",
         "",
         R"(DefReg.xml, Modbus_Write row 1: attribute "NrDNNode" is -1, but node positions start at 1)"},
        {"NrDNNode not an integer", goodNodes,
         R"(<InfoMod><Modbus_Read><row Index="1" NrDNNode="one" PosComp="0"/></Modbus_Read><Modbus_Write/></InfoMod>)",
         "", R"(DefReg.xml, Modbus_Read row 1: attribute "NrDNNode" is not an integer: "one")"},
        {"kept row without PosComp", goodNodes,
         R"(<InfoMod><Modbus_Read/><Modbus_Write><row Index="1" NrDNNode="2"/></Modbus_Write></InfoMod>)",
         "", R"(DefReg.xml, Modbus_Write row 1: attribute "PosComp" is missing)"},
        {"no Ser_Prot", "", "",
         "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud>"
         "<Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type></Par_Gen>",
         R"(pargen.xml: element "Ser_Prot" is missing)"},
        {"Ser_ID not an integer", "", "", settingsWith("0", "", "abc"),
         R"(pargen.xml: element "Ser_ID" is not an integer: "abc")"},
        {"Ser_ID long and not an integer", "", "", settingsWith("0", "", std::string(100000, 'x')),
         R"(pargen.xml: element "Ser_ID" is not an integer: ")" + std::string(40, 'x') + "\""},
        {"Ser_ID with markup", "", "", settingsWith("0", "", "<b>1</b>"),
         R"(pargen.xml: element "Ser_ID": Element does not contain a single text node)"},
        {"DNET_Net.xml not well-formed", "<DNET_Net><row ID=\"1\"></DNET_Net>", "", "",
         "\nLine: 1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* file : {"DNET_Net.xml", "DefReg.xml", "pargen.xml"})
            fs::remove(dir / file);
        test::writeProject(dir.path(), c.nodes, c.map, c.settings);
        EXPECT_NE(composeError().find(c.expected), std::string::npos) << c.expected;
    }
}

// The application shows the parser's text alone; other callers learn which document it was.
TEST_F(Composer, AParseErrorKeepsItsTextAndNamesItsDocument) {
    test::writeProject(dir.path(), test::kExampleNodes, test::kExampleMap, "<Par_Gen>");
    try {
        ComposeConfigImage(image, dir.path());
        FAIL() << "no error";
    } catch (const DocumentError& e) {
        EXPECT_EQ(e.document(), "pargen.xml");
        EXPECT_EQ(e.place(), "");
        EXPECT_EQ(std::string(e.what()).rfind("pargen.xml", 0), std::string::npos) << e.what();
        EXPECT_EQ(e.detail(), e.what());
        EXPECT_EQ(e.located(), "pargen.xml: " + e.detail());
    }
}

TEST_F(Composer, ASkippedRowIsNotReadFurther) {
    test::writeProject(
        dir.path(), test::kExampleNodes,
        R"(<InfoMod><Modbus_Read><row NrDNNode="3"/></Modbus_Read><Modbus_Write/></InfoMod>)", "");
    compose();
    EXPECT_EQ(image.length, 34u);
}

TEST_F(Composer, FillsTheCapacityExactlyAndRefusesOneRowMore) {
    // 16 + 4 x 9 + 14277 x 7 + 13 = 100004 bytes.
    test::writeProject(dir.path(), nodes(4), mapWithReadRows(14277), test::kExampleSettings);
    compose();
    EXPECT_EQ(image.length, 100004u);
    EXPECT_TRUE(image.complete);

    // The row that takes the parameter block's room is the one named.
    test::writeText(dir / "DefReg.xml", mapWithReadRows(14278));
    EXPECT_EQ(
        composeError(),
        "DefReg.xml, Modbus_Read row 14278: the configuration image would exceed 100004 bytes");

    // Without pargen.xml there is no block to keep room for.
    std::filesystem::remove(dir / "pargen.xml");
    compose();
    EXPECT_EQ(image.length, 99998u);
    test::writeText(dir / "DefReg.xml", mapWithReadRows(14279));
    EXPECT_EQ(
        composeError(),
        "DefReg.xml, Modbus_Read row 14279: the configuration image would exceed 100004 bytes");
}

TEST_F(Composer, AFailedCompositionLeavesTheEarlierFileUntouched) {
    test::writeExampleProject(dir.path());
    compose();
    SaveConfigImage(image, dir.path());
    test::writeText(dir / "DefReg.xml", "<InfoMod><Modbus_Read/></InfoMod>");
    composeError();
    EXPECT_THROW(SaveConfigImage(image, dir.path()), Error);
    EXPECT_EQ(hexBytes(test::readText(dir / "bin" / "bank.bin")), test::kExampleImage);
}

TEST_F(Composer, AnEmptyProjectFolderAfterAGoodCompositionLeavesNothingToSave) {
    test::writeExampleProject(dir.path());
    compose();
    EXPECT_THROW(ComposeConfigImage(image, {}), Error);
    EXPECT_FALSE(image.complete);
    EXPECT_THROW(saveConfigImageTo(image, dir / "other.bin"), Error);
    EXPECT_FALSE(fs::exists(dir / "other.bin"));
}

TEST_F(Composer, SaveFailuresAreErrors) {
    test::writeExampleProject(dir.path());
    compose();

    fs::remove_all(dir / "bin");
    EXPECT_THROW(SaveConfigImage(image, dir.path()), Error);
    EXPECT_FALSE(fs::exists(dir / "bin"));

    fs::create_directories(dir / "bin");
    test::writeText(dir / "bin" / "bank.bin", "old");
    fs::permissions(dir / "bin" / "bank.bin", fs::perms::owner_read);
    EXPECT_THROW(SaveConfigImage(image, dir.path()), Error);
    EXPECT_EQ(test::readText(dir / "bin" / "bank.bin"), "old");
}

TEST(ComposerProject, AnEmptyProjectFolderIsNotValid) {
    ConfigImage image;
    try {
        ComposeConfigImage(image, {});
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Project not valid");
    }
    EXPECT_FALSE(image.complete);
    EXPECT_THROW(SaveConfigImage(image, {}), Error);
}

}  // namespace
}  // namespace velmora
