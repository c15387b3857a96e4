#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/report_text.h"
#include "core/path_text.h"
#include "documents/devicenet_network.h"
#include "documents/register_map.h"
#include "support/temp_dir.h"

namespace velmora::cli {
namespace {

// A hand-written data sheet: polled, 10 bytes produced (Input1) and 6 consumed (Output1).
const std::string kPumpDrive =
    "[Device]\nVendCode = 0x0123;\nVendName = \"Example Drives\";\nProdType = 2;\n"
    "ProdCode = 55;\nMajRev = 1;\nMinRev = 3;\nProdName = \"PUMP-DRIVE\";\nCatalog = \"PD-100\";\n"
    "[IO_Info]\nDefault = 0x0001;\nPollInfo = 0x0001, 1, 1;\nCOSInfo = 0x0004, 2, 0;\n"
    "Input1 = 10, 0, 0x0001, \"Status\";\nInput2 = 4;\nOutput1 = 6, 0, 0x0001, \"Command\";\n";

class EdsCommands : public ::testing::Test {
protected:
    EdsCommands() {
        test::writeText(dir / "PUMP-DRIVE.EDS", kPumpDrive);
        std::filesystem::create_directory(project);
    }
    std::string path(const std::string& name) { return pathText(dir / name); }
    std::string document() { return test::readText(project / "DNET_Net.xml"); }
    Outcome node(const std::vector<std::string>& more) {
        std::vector<std::string> args = {"node", pathText(project)};
        args.insert(args.end(), more.begin(), more.end());
        return run(args);
    }

    test::TempDir dir;
    std::filesystem::path project = dir / "plant";
};

TEST_F(EdsCommands, EdsShowsIdentityConnectionsAndSizes) {
    const std::string file = path("PUMP-DRIVE.EDS");
    const Outcome text = run({"eds", file});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, file +
                            ": PUMP-DRIVE, catalog PD-100, by Example Drives (vendor 291), product "
                            "type 2, product code 55, revision 1.3\n"
                            "  polled (default): Input1 10 bytes \"Status\", Output1 6 bytes "
                            "\"Command\"\n"
                            "  change of state: Input2 4 bytes, no Output\n"
                            "  gives: N BYTE IN 6, N BYTE OUT 10\n");

    test::writeText(dir / "OPEN.EDS", "[DeviceInfo]\nVendorName=X\n");
    const Outcome json = run({"eds", "--json", file, path("OPEN.EDS")});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.err, "velmora-cli: " + path("OPEN.EDS") +
                            ", line 1: a CANopen data sheet ([DeviceInfo] instead of [Device]); "
                            "only DeviceNet data sheets give a node's sizes\n");
    EXPECT_NE(json.out.find("\"product_name\": \"PUMP-DRIVE\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("{\"kind\": \"polled\", \"keyword\": \"PollInfo\", \"mask\": 1, "
                            "\"input\": 1, \"output\": 1, \"default\": true}"),
              std::string::npos);
    EXPECT_NE(json.out.find("\"NB_IN\": 6, \"NB_OUT\": 10}"), std::string::npos);
    EXPECT_NE(json.out.find("\"line\": 1}"), std::string::npos);
    EXPECT_TRUE(json.out.starts_with("{\"files\": [") && json.out.ends_with("\n]}\n"));

    EXPECT_EQ(run({"eds"}).status, 2);
    EXPECT_EQ(run({"help", "eds"}).out.rfind("Usage: velmora-cli eds FILE... [--json]\n", 0), 0u);
}

TEST_F(EdsCommands, NodeSetsTheRowWithThatIdOrAppendsOneAsTheDialogWrites) {
    const std::string eds = path("PUMP-DRIVE.EDS");
    // No document yet: the node becomes row 1.
    Outcome outcome = node({"5", "--eds", eds});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(document(),
              "<DNET_Net><row ID=\"5\" NB_IN=\"6\" NB_OUT=\"10\" Mnemonic=\"PUMP-DRIVE\"/>"
              "</DNET_Net>");
    EXPECT_EQ(outcome.out, pathText(project / "DNET_Net.xml") +
                               ", row 1: 10 bytes out, 6 in, from PUMP-DRIVE.EDS (appended)\n");
    // The device's Input is what the read map carries: "Define Modbus" offers Byte1 to Byte10
    // for the node on its read page, Byte1 to Byte6 on its write page.
    const RegisterMapLoad load = LoadRegisterMap(project / "DNET_Net.xml", project / "DefReg.xml");
    ASSERT_TRUE(load.map.nodeLists.has_value());
    EXPECT_EQ(load.map.nodeLists->DNNodeListRead.at(0).NByte, 10);
    EXPECT_EQ(load.map.nodeLists->DNNodeListWrite.at(0).NByte, 6);

    // The row whose ID has that value, whatever its text; the ID and a mnemonic stay; rows
    // below an empty ID are gone, as after the dialog's OK.
    test::writeText(project / "DNET_Net.xml",
                    "<DNET_Net>\n  <row ID=\"2\" NB_IN=\"1\" NB_OUT=\"1\" Mnemonic=\"\"/>\n"
                    "  <row ID=\" 0x5\" NB_IN=\"0\" NB_OUT=\"0\" Mnemonic=\"Left pump\"/>\n"
                    "  <row ID=\"\" NB_IN=\"\" NB_OUT=\"\" Mnemonic=\"\"/>\n"
                    "  <row ID=\"7\" NB_IN=\"3\" NB_OUT=\"3\" Mnemonic=\"lost\"/>\n</DNET_Net>\n");
    outcome = node({"5", "--eds", eds, "--json"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const std::vector<DNetRow> rows = {{"2", "1", "1", ""}, {" 0x5", "6", "10", "Left pump"}};
    EXPECT_EQ(document(), dnetNetworkDocument(rows));
    EXPECT_EQ(outcome.out, "{\"document\": " + jsonString(pathText(project / "DNET_Net.xml")) +
                               ", \"row\": 2, \"appended\": false, \"ID\": \" 0x5\", "
                               "\"NB_IN\": \"6\", \"NB_OUT\": \"10\", \"Mnemonic\": \"Left pump\", "
                               "\"eds\": " +
                               jsonString(eds) + "}\n");

    outcome = node({"05", "--eds", eds, "--mnemonic", "Right pump"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(document(), dnetNetworkDocument({rows[0], {" 0x5", "6", "10", "Right pump"}}));
}

TEST_F(EdsCommands, NodeRefusesWithoutWritingAnything) {
    const std::string eds = path("PUMP-DRIVE.EDS");
    test::writeText(dir / "BIG.EDS",
                    "[IO_Info]\nDefault = 1;\nPollInfo = 1, 1, 0;\n"
                    "Input1 = 500;\n");
    const std::string full = [] {
        std::string xml = "<DNET_Net>";
        for (int i = 0; i < 64; ++i)
            xml += "<row ID=\"1\" NB_IN=\"0\" NB_OUT=\"0\" Mnemonic=\"\"/>";
        return xml + "</DNET_Net>";
    }();
    std::string heavy = "<DNET_Net>";
    for (int i = 0; i < 13; ++i)
        heavy += "<row ID=\"1\" NB_IN=\"1\" NB_OUT=\"455\" Mnemonic=\"\"/>";
    heavy += "<row ID=\"2\" NB_IN=\"1\" NB_OUT=\"80\" Mnemonic=\"\"/></DNET_Net>";  // 5995 out
    struct Case {
        const char* what;
        std::string xml;
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::string where = pathText(project / "DNET_Net.xml");
    const Case cases[] = {
        {"a row without an attribute",
         "<DNET_Net><row ID=\"5\" NB_IN=\"1\"/></DNET_Net>",
         {"5", "--eds", eds},
         1,
         where + " cannot be read: Row 1 of the DeviceNet network has no attribute \"NB_OUT\""},
        {"a document that is not XML", "<DNET_Net><row></DNET_Net>", {"5", "--eds", eds}, 1, ""},
        {"a refused data sheet",
         "<DNET_Net/>",
         {"5", "--eds", path("BIG.EDS")},
         1,
         path("BIG.EDS") + ", line 4: Input1 is 500 bytes: a node exchanges at most 455"},
        {"a full list", full, {"9", "--eds", eds}, 1, "the network already holds 64 nodes"},
        {"two rows with the ID",
         full,
         {"1", "--eds", eds},
         1,
         "rows 1 and 2 both have ID 1: set the node in the \"DeviceNet Network\" dialog"},
        {"an output sum over 6000",
         heavy,
         {"9", "--eds", eds},
         1,
         "Error!! Number of Byte OUT must be under 6000. "},
        {"an ID out of range",
         "<DNET_Net/>",
         {"64", "--eds", eds},
         2,
         "the ID must be an integer from 0 to 63: '64'"},
        {"no data sheet", "<DNET_Net/>", {"5"}, 2, "missing --eds FILE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::writeText(project / "DNET_Net.xml", c.xml);
        const Outcome outcome = node(c.args);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(document(), c.xml);
        if (!c.message.empty()) {
            EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')), "velmora-cli: " + c.message);
        }
    }
}

}  // namespace
}  // namespace velmora::cli
