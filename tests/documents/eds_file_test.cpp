#include "documents/eds_file.h"

#include <gtest/gtest.h>

#include "documents/eds_import.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

// A pump drive's data sheet, written for these tests: polled by default, 10 bytes produced and
// 6 consumed.
const std::string kPumpDrive = R"($ Pump drive, hand-written test data sheet
[File]
DescText = "Pump drive";
CreateDate = 12-01-2026;

[Device]
VendCode = 0x0123;
VendName = "Example" " Drives";   $ adjacent strings join
ProdType = 2;
ProdCode = 55;
MajRev = 1;
MinRev = 3;
ProdName = "PUMP-DRIVE";
Catalog = "PD-100";

[IO_Info]
Default = 0x0001;
PollInfo = 0x0001, 1, 1;
COSInfo = 0x0004, 2, 0;
Input1 = 10, 0, 0x0001, "Status", 6, "20 04 24 64 30 03", "Status and speed";
Input2 = 4, 0, 0x0004, "Alarms", 6, "20 04 24 65 30 03", "";
Output1 = 6, 0, 0x0001, "Command", 6, "20 04 24 96 30 03", "";

[Params]
Param1 = 0, , , 0x0000, 0xC7, 2, "Speed", "rpm", "", 0, 3000, 0;
)";

// kPumpDrive with `from` replaced by `to`.
std::string pumpDriveWith(std::string_view from, std::string_view to) {
    std::string text = kPumpDrive;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(EdsParsing, AnInputIsWhatTheGatewayReadsAndGoesToTheOutputCount) {
    const EdsFile eds = parseEds(kPumpDrive, "PUMP-DRIVE.EDS");
    EXPECT_EQ(eds.bytesOut, 10);  // Input1: produced by the device, read by the gateway
    EXPECT_EQ(eds.bytesIn, 6);    // Output1: consumed by the device
    EXPECT_EQ(eds.defaultMask, 1);
    ASSERT_EQ(eds.connections.size(), 2u);
    EXPECT_EQ(kEdsConnectionKinds[eds.connections[eds.defaultConnection].kind].keyword, "PollInfo");
    EXPECT_EQ(eds.connections[1].input, 2u);
    EXPECT_EQ(eds.connections[1].output, 0u);
    ASSERT_EQ(eds.inputs.size(), 2u);
    EXPECT_EQ(eds.inputs[1].name, "Alarms");
    EXPECT_EQ(eds.inputs[1].line, 21u);

    const EdsIdentity& id = eds.identity;
    EXPECT_EQ(id.vendorCode, 0x123);
    EXPECT_EQ(id.vendorName, "Example Drives");
    EXPECT_EQ(id.productType, 2);
    EXPECT_EQ(id.productCode, 55);
    EXPECT_EQ(id.majorRevision, 1);
    EXPECT_EQ(id.minorRevision, 3);
    EXPECT_EQ(id.productName, "PUMP-DRIVE");
    EXPECT_EQ(id.catalog, "PD-100");

    DNetRow row{" 7", "", "", ""};
    fillRowFromEds(row, eds);
    EXPECT_EQ(row, (DNetRow{" 7", "6", "10", "PUMP-DRIVE"}));
    DNetRow named{"8", "1", "1", "Left pump"};
    fillRowFromEds(named, eds);
    EXPECT_EQ(named, (DNetRow{"8", "6", "10", "Left pump"}));
    EXPECT_EQ(edsFillText(3, eds), "row 3: 10 bytes out, 6 in, from PUMP-DRIVE.EDS");
}

// The syntax as data sheets write it, each case giving the sizes (out, in) and product name.
TEST(EdsParsing, ReadsTheSyntaxDataSheetsUse) {
    struct Case {
        const char* what;
        std::string text;
        std::int32_t out;
        std::int32_t in;
        std::string product;
    };
    const Case cases[] = {
        {"keywords and sections in any case",
         pumpDriveWith("[IO_Info]\nDefault", "[io_info]\nDEFAULT"), 10, 6, "PUMP-DRIVE"},
        {"an entry over several lines, with comments",
         pumpDriveWith("PollInfo = 0x0001, 1, 1;",
                       "PollInfo = $ mask\n  0x0001, $ input\n  1,\n  1\n  ;"),
         10, 6, "PUMP-DRIVE"},
        {"decimal and hexadecimal sizes", pumpDriveWith("Input1 = 10,", "Input1 = 0x01C7,"), 455, 6,
         "PUMP-DRIVE"},
        {"empty fields", pumpDriveWith("Output1 = 6, 0, 0x0001,", "Output1 = 6,,,"), 10, 6,
         "PUMP-DRIVE"},
        {"a string over two joined parts",
         pumpDriveWith("ProdName = \"PUMP-DRIVE\";", "ProdName = \"PUMP-\"\n  \"DRIVE 2\";"), 10, 6,
         "PUMP-DRIVE 2"},
        {"a $ and a ; inside a string", pumpDriveWith("\"PUMP-DRIVE\"", "\"PUMP $5; \\\"B\\\"\""),
         10, 6, "PUMP $5; \"B\""},
        {"change of state as default, no consumed data",
         pumpDriveWith("Default = 0x0001;", "Default = 0x0004;"), 4, 0, "PUMP-DRIVE"},
        {"several default bits: the first given connection counts",
         pumpDriveWith("Default = 0x0001;", "Default = 0x000E;"), 4, 0, "PUMP-DRIVE"},
        {"no [Device] section", pumpDriveWith("[Device]", "[Vendor]"), 10, 6, ""},
        {"a byte-order mark and CRLF line ends",
         "\xEF\xBB\xBF[IO_Info]\r\nDefault=1;\r\n"
         "PollInfo=1,1,0;\r\nInput1=3;\r\n",
         3, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const EdsFile eds = parseEds(c.text, "A.EDS");
        EXPECT_EQ(eds.bytesOut, c.out);
        EXPECT_EQ(eds.bytesIn, c.in);
        EXPECT_EQ(eds.identity.productName, c.product);
    }
}

TEST(EdsParsing, RefusesWithTheFileAndTheLine) {
    struct Case {
        const char* what;
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"no [IO_Info]", pumpDriveWith("[IO_Info]", "[IO_Data]"),
         "A.EDS: no [IO_Info] section: the file gives no I/O sizes"},
        {"no Default", pumpDriveWith("Default = 0x0001;", ""),
         "A.EDS, line 16: [IO_Info] has no \"Default\" connection"},
        {"a default naming no connection given",
         pumpDriveWith("Default = 0x0001;", "Default = 0x0002;"),
         "A.EDS, line 17: no usable default connection: \"Default\" names none of the "
         "connections given with an Input or Output entry"},
        {"a default connection without entries",
         pumpDriveWith("PollInfo = 0x0001, 1, 1;", "PollInfo = 0x0001, 0, 0;"),
         "A.EDS, line 17: no usable default connection: \"Default\" names none of the "
         "connections given with an Input or Output entry"},
        {"a size over 455", pumpDriveWith("Input1 = 10,", "Input1 = 456,"),
         "A.EDS, line 20: Input1 is 456 bytes: a node exchanges at most 455"},
        {"no size", pumpDriveWith("Output1 = 6,", "Output1 = ,"),
         "A.EDS, line 22: Output1 gives no size in bytes"},
        {"an entry that is not there",
         pumpDriveWith("PollInfo = 0x0001, 1, 1;", "PollInfo = 0x0001, 1, 3;"),
         "A.EDS, line 18: \"PollInfo\" names Output3, which [IO_Info] does not hold"},
        {"a CANopen data sheet",
         "[FileInfo]\nFileName=a.eds\n[DeviceInfo]\nVendorName=X\n[IO_Info]\nDefault=1\n",
         "A.EDS, line 3: a CANopen data sheet ([DeviceInfo] instead of [Device]); only "
         "DeviceNet data sheets give a node's sizes"},
        {"a string not closed", pumpDriveWith("\"PD-100\"", "\"PD-100"),
         "A.EDS, line 14: the string is not closed on its line"},
        {"an entry not ended", "[IO_Info]\nDefault = 1;\nPollInfo = 1, 1,\n 1\n",
         "A.EDS, line 3: the entry \"PollInfo\" is not ended by ';'"},
        {"an entry not ended before a heading",
         pumpDriveWith("Catalog = \"PD-100\";", "Catalog = PD-100\n"),
         "A.EDS, line 14: the entry \"Catalog\" is not ended by ';'"},
        {"no '='", pumpDriveWith("MajRev = 1;", "MajRev 1;"),
         "A.EDS, line 11: expected 'Keyword = value;', found \"MajRev 1;\""},
        {"a heading not closed", pumpDriveWith("[Params]", "[Params"),
         "A.EDS, line 24: the section heading is not closed by ']'"},
        {"a keyword given twice", pumpDriveWith("MinRev = 3;", "MinRev = 3;\nminrev = 4;"),
         "A.EDS, line 13: \"minrev\" is given twice in [Device] (first on line 12)"},
        {"an entry given twice", pumpDriveWith("Output1 = 6,", "Input01 = 6,"),
         "A.EDS, line 22: \"Input01\" is given twice in [IO_Info] (first on line 20)"},
        {"a number that is not one", pumpDriveWith("VendCode = 0x0123;", "VendCode = 0x12G;"),
         "A.EDS, line 7: field 1 of \"VendCode\" is not a number: \"0x12G\""},
        {"a number over 32 bits", pumpDriveWith("Default = 0x0001;", "Default = 0x100000000;"),
         "A.EDS, line 17: field 1 of \"Default\" is not a number: \"0x100000000\""},
        {"a string with more after it", pumpDriveWith("\"PD-100\"", "\"PD\" 100"),
         "A.EDS, line 14: unexpected text after a string: a field holds one value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            parseEds(c.text, "A.EDS");
            ADD_FAILURE() << "not refused";
        } catch (const EdsError& e) {
            EXPECT_EQ(e.what(), c.message);
            EXPECT_EQ(e.file(), "A.EDS");
        }
    }
}

TEST(EdsReading, RefusesWhatIsNoTextFileAndTakesLatin1) {
    test::TempDir dir;
    const auto refusal = [&](std::string_view name, std::string_view bytes) -> std::string {
        test::writeText(dir / name, bytes);
        try {
            readEdsFile(dir / name);
        } catch (const EdsError& e) {
            return e.what();
        }
        return "not refused";
    };
    EXPECT_EQ(refusal("BIN.EDS", "[Device]\nProdName = \"A\";\n\x01\x02"),
              "BIN.EDS, line 3: not a text file (it holds control characters)");
    EXPECT_EQ(refusal("ZERO.EDS", std::string("[Device]\0", 9)),
              "ZERO.EDS, line 1: not a text file (it holds control characters)");

    // Exactly 1 MiB is read; one byte more is refused before anything is parsed.
    std::string big = "[IO_Info]\nDefault = 1; PollInfo = 1, 1, 0; Input1 = 8;\n";
    big.append(kEdsMaxFileSize - big.size(), ' ');
    test::writeText(dir / "BIG.EDS", big);
    EXPECT_EQ(readEdsFile(dir / "BIG.EDS").bytesOut, 8);
    EXPECT_EQ(refusal("HUGE.EDS", big + " "), "HUGE.EDS: is over 1 MiB: not an EDS file");

    // A data sheet saved by an old editor: Latin-1 and a final Ctrl+Z.
    test::writeText(dir / "OLD.EDS",
                    "[Device]\nProdName = \"Pr\xFC"
                    "fstand\";\n[IO_Info]\nDefault = 1;\n"
                    "PollInfo = 1, 0, 1;\nOutput1 = 2;\n\x1A");
    const EdsFile old = readEdsFile(dir / "OLD.EDS");
    EXPECT_EQ(old.identity.productName,
              "Pr\u00fc"
              "fstand");
    EXPECT_EQ(old.name, "OLD.EDS");
    EXPECT_EQ(old.bytesIn, 2);

    EXPECT_THROW(readEdsFile(dir / "MISSING.EDS"), Error);
    try {
        readEdsFile(dir.path());
        ADD_FAILURE() << "a folder read";
    } catch (const EdsError& e) {
        EXPECT_EQ(e.detail(), "is a folder, not a file");
    }
}

}  // namespace
}  // namespace velmora
