#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/cli_run.h"
#include "image/example_project.h"
#include "support/temp_dir.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

// Node 1 (ID 5): 4 input and 3 output bytes; node 2 (ID 9): none; node 3 (ID 12): 2 and 8.
constexpr char kNodes[] = R"(<DNET_Net><row ID="5" NB_IN="4" NB_OUT="3" Mnemonic="=Pump, left"/>)"
                          R"(<row ID="9" NB_IN="0" NB_OUT="0" Mnemonic=""/>)"
                          R"(<row ID="0xC" NB_IN="2" NB_OUT="8" Mnemonic=""/></DNET_Net>)";

class Automap : public ::testing::Test {
protected:
    std::string project() const { return dir.path().string(); }
    fs::path defReg() const { return dir / "DefReg.xml"; }
    void write(const std::string& map) {
        test::writeProject(dir.path(), kNodes, map, test::kExampleSettings);
    }
    test::TempDir dir;
};

TEST_F(Automap, MapsEveryByteOnceAndASecondRunChangesNothing) {
    write("");
    Outcome r = run({"automap", project()});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out,
              "read register 0: node 1 (ID 5), high Byte2, low Byte1\n"
              "read register 1: node 1 (ID 5), high None, low Byte3\n"
              "read register 2: node 3 (ID 0xC), high Byte2, low Byte1\n"
              "read register 3: node 3 (ID 0xC), high Byte4, low Byte3\n"
              "read register 4: node 3 (ID 0xC), high Byte6, low Byte5\n"
              "read register 5: node 3 (ID 0xC), high Byte8, low Byte7\n"
              "write register 0: node 1 (ID 5), high Byte2, low Byte1\n"
              "write register 1: node 1 (ID 5), high Byte4, low Byte3\n"
              "write register 2: node 3 (ID 0xC), high Byte2, low Byte1\n"
              "DefReg.xml: 6 read registers and 3 write registers added\n");
    const std::string written = test::readText(defReg());
    EXPECT_EQ(written,
              R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="131073"/>)"
              R"(<row Index="1" NrDNNode="1" PosComp="3"/>)"
              R"(<row Index="2" NrDNNode="3" PosComp="131073"/>)"
              R"(<row Index="3" NrDNNode="3" PosComp="262147"/>)"
              R"(<row Index="4" NrDNNode="3" PosComp="393221"/>)"
              R"(<row Index="5" NrDNNode="3" PosComp="524295"/></Modbus_Read>)"
              R"(<Modbus_Write><row Index="0" NrDNNode="1" PosComp="131073"/>)"
              R"(<row Index="1" NrDNNode="1" PosComp="262147"/>)"
              R"(<row Index="2" NrDNNode="3" PosComp="131073"/></Modbus_Write></InfoMod>)");
    r = run({"check", project()});
    EXPECT_EQ(r.out, "0 errors, 0 warnings\n");

    r = run({"automap", project()});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "DefReg.xml: 0 read registers and 0 write registers added\n");
    EXPECT_EQ(test::readText(defReg()), written);
}

TEST_F(Automap, StartsOrderReplaceAndDryRun) {
    const std::string handMade =
        R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="1"/></Modbus_Read>)"
        R"(<Modbus_Write/></InfoMod>)";
    write(handMade);
    Outcome r = run({"automap", project(), "--read-start", "100", "--write-start=7", "--order",
                     "high-first", "--replace", "--dry-run"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("read register 100: node 1 (ID 5), high Byte1, low Byte2\n"
                         "read register 101: node 1 (ID 5), high Byte3, low None\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("write register 9: node 3 (ID 0xC), high Byte1, low Byte2\n"
                         "DefReg.xml: 6 read registers and 3 write registers added, "
                         "1 register replaced (dry run: nothing written)\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(test::readText(defReg()), handMade);

    // Without --replace the hand-made register keeps index 0 and byte 1 of node 1.
    r = run({"automap", project()});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("read register 1: node 1 (ID 5), high Byte2, low None\n"
                         "read register 2: node 1 (ID 5), high None, low Byte3\n"),
              std::string::npos)
        << r.out;
}

TEST_F(Automap, BytesPastIndex65535AreNamedAndTheRestWritten) {
    write("");
    const Outcome r = run({"automap", project(), "--read-start", "65535", "--write-start", "0"});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.err,
              "velmora-cli: warning: read map, node 1 (ID 5): byte 3 found no free index up to "
              "65535\n"
              "velmora-cli: warning: read map, node 3 (ID 0xC): bytes 1 to 8 found no free index "
              "up to 65535\n");
    EXPECT_NE(
        test::readText(defReg()).find(R"(<row Index="65535" NrDNNode="1" PosComp="131073"/>)"),
        std::string::npos);
}

TEST_F(Automap, RefusesAProjectWithErrorsAndBadOptions) {
    test::writeProject(dir.path(),
                       R"(<DNET_Net><row ID="64" NB_IN="1" NB_OUT="1" Mnemonic=""/></DNET_Net>)",
                       "", test::kExampleSettings);
    Outcome r = run({"automap", project()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_NE(r.err.find("the project has 1 error (velmora-cli check"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(defReg()));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"automap", project(), "--read-start", "65536"},
          {"automap", project(), "--write-start", "-1"},
          {"automap", project(), "--order", "middle"},
          {"automap"}}) {
        r = run(args);
        EXPECT_EQ(r.status, kExitUsage) << args.back();
    }
    EXPECT_FALSE(fs::exists(defReg()));
}

// A map that the device keeps whole (no dropped row, no repeated index), with both byte halves,
// None in either and a mnemonic a spreadsheet would run as a formula.
constexpr char kMap[] =
    R"(<InfoMod><Modbus_Read><row Index="3" NrDNNode="1" PosComp="1"/>)"
    R"(<row Index="12" NrDNNode="3" PosComp="196612"/></Modbus_Read>)"
    R"(<Modbus_Write><row Index="100" NrDNNode="3" PosComp="131072"/></Modbus_Write></InfoMod>)";

TEST_F(Automap, MapImportGivesBackTheSameCsv) {
    write(kMap);
    for (const std::vector<std::string>& base :
         {std::vector<std::string>{}, std::vector<std::string>{"--base", "40001"}}) {
        std::vector<std::string> map = {"map", project()};
        map.insert(map.end(), base.begin(), base.end());
        const Outcome before = run(map);
        ASSERT_EQ(before.status, kExitOk) << before.err;
        EXPECT_NE(before.out.find("\"'=Pump, left\""), std::string::npos) << before.out;

        test::writeText(dir / "edited.csv", before.out);
        fs::remove(defReg());
        std::vector<std::string> import = map;
        import.insert(import.end(), {"--import", (dir / "edited.csv").string()});
        const Outcome imported = run(import);
        ASSERT_EQ(imported.status, kExitOk) << imported.err;
        EXPECT_EQ(imported.out, "DefReg.xml: 2 read registers and 1 write register imported from " +
                                    (dir / "edited.csv").string() + "\n");
        EXPECT_EQ(test::readText(defReg()), kMap);
        EXPECT_EQ(run(map).out, before.out);
    }
}

TEST_F(Automap, MapImportTakesSemicolonsAndLineFeeds) {
    write("");
    test::writeText(dir / "sheet.csv",
                    "\xEF\xBB\xBFmap;register;node;node_id;mnemonic;high_byte;low_byte\n"
                    "read;12;3;12;\"a;\"\"b\"\"\nc\";3;4\n"
                    "\n"
                    "write;100;3;12;;2;\n"
                    "read;3;1;5;'=Pump, left;;1\n");
    const Outcome r = run({"map", project(), "--import", (dir / "sheet.csv").string()});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(test::readText(defReg()), kMap);
}

TEST_F(Automap, MapImportRefusesAFaultyLineAndWritesNothing) {
    constexpr char kHeader[] = "map,register,node,node_id,mnemonic,high_byte,low_byte\r\n";
    struct Case {
        std::string csv;
        std::string base;
        std::string message;
    };
    const Case cases[] = {
        {"map,register,node,node_id,mnemonic,high_byte\r\n", "0",
         "line 1: the column 'low_byte' is missing (the header must be "
         "map,register,node,node_id,mnemonic,high_byte,low_byte)"},
        {std::string(kHeader) + "read,0,1,5,,,1\r\nread,1,1,5,\r\n", "0",
         "line 3: the column 'high_byte' is missing"},
        {std::string(kHeader) + "read,0,1,9,,,1\r\n", "0",
         "line 2: node_id 9 is not the ID of node 1 (5)"},
        {std::string(kHeader) + "read,0,2,9,,,1\r\n", "0",
         "line 2: low_byte 1 is not a byte of node 2, which has 0 output bytes"},
        {std::string(kHeader) + "write,0,1,5,,5,\r\n", "0",
         "line 2: high_byte 5 is not a byte of node 1, which has 4 input bytes"},
        {std::string(kHeader) + "read,0,4,5,,,1\r\n", "0",
         "line 2: node 4 is not in DNET_Net.xml (3 nodes)"},
        {std::string(kHeader) + "read,7,1,5,,,1\r\nwrite,7,1,5,,,1\r\nread,7,3,12,,,2\r\n", "0",
         "line 4: read register 7 already stands on line 2"},
        {std::string(kHeader) + "read,40000,1,5,,,1\r\n", "40001",
         "line 2: register 40000 is index -1, outside 0 to 65535, with the base 40001"},
        {std::string(kHeader) + "read,65536,1,5,,,1\r\n", "0",
         "line 2: register 65536 is index 65536, outside 0 to 65535, with the base 0"},
        {std::string(kHeader) + "read,x,1,5,,,1\r\n", "0",
         "line 2: register 'x' is not a whole number"},
        {std::string(kHeader) + "both,1,1,5,,,1\r\n", "0",
         "line 2: map 'both' is neither read nor write"},
        {std::string(kHeader) + "read,1,1,5,\"open,,1\r\n", "0", "line 2: a quote is not closed"},
    };
    write(kMap);
    const std::string file = (dir / "sheet.csv").string();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        test::writeText(file, c.csv);
        const Outcome r = run({"map", project(), "--base", c.base, "--import", file});
        EXPECT_EQ(r.status, kExitFailure);
        EXPECT_EQ(r.err, "velmora-cli: " + file + ": " + c.message + "; nothing written\n");
        EXPECT_EQ(test::readText(defReg()), kMap);
    }
    const Outcome r = run({"map", project(), "--import", file, "--format", "html"});
    EXPECT_EQ(r.status, kExitUsage);
}

}  // namespace
}  // namespace velmora::cli
