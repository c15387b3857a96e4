#include "image/image_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "image/example_project.h"
#include "image/image_format.h"

namespace velmora {
namespace {

std::vector<std::uint8_t> fromHex(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    std::istringstream in{std::string(hex)};
    unsigned value = 0;
    while (in >> std::hex >> value) bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

TEST(ImageDecoder, TakesTheWorkedExampleApart) {
    const DecodedImage image = decodeConfigImage(fromHex(test::kExampleImage));
    EXPECT_EQ(image.length, 61u);
    EXPECT_EQ(image.nodeTableOffset, 16u);
    EXPECT_EQ(image.readMapOffset, 34u);
    EXPECT_EQ(image.writeMapOffset, 41u);
    EXPECT_EQ(image.parametersOffset, 48u);
    ASSERT_EQ(image.nodes.size(), 2u);
    EXPECT_EQ(image.nodes[1].id, 9);
    EXPECT_EQ(image.nodes[1].bytesIn, 8);
    EXPECT_EQ(image.nodes[1].bytesOut, 6);
    EXPECT_EQ(image.nodes[1].inputStart, 4);
    EXPECT_EQ(image.nodes[1].outputStart, 2);
    ASSERT_EQ(image.readMap.size(), 1u);
    ASSERT_EQ(image.writeMap.size(), 1u);
    EXPECT_EQ(image.writeMap[0].index, 100);
    EXPECT_EQ(image.writeMap[0].nodePosition, 1);
    EXPECT_EQ(image.writeMap[0].highByte(), 0);
    EXPECT_EQ(image.writeMap[0].lowByte(), 2);
    ASSERT_TRUE(image.parameters);
    EXPECT_EQ(image.parameters->deviceNetId, 20);
    EXPECT_EQ(image.parameters->serialBaud, 7);
    EXPECT_EQ(image.parameters->lineType, 1);
    EXPECT_EQ(image.parameters->nodeCount, 2);
    EXPECT_TRUE(image.problems.empty());
    // The SHA-256 of the 61 bytes begins 18c3590e33d5cca7.
    EXPECT_EQ(image.fingerprint, "18c3590e");
}

TEST(ImageDecoder, UnpacksBothByteChoices) {
    DecodedRegister reg;
    reg.posComp = 196612;
    EXPECT_EQ(reg.highByte(), 3);
    EXPECT_EQ(reg.lowByte(), 4);
    reg.posComp = -1;
    EXPECT_EQ(reg.highByte(), 65535);
    EXPECT_EQ(reg.lowByte(), 65535);
}

TEST(ImageDecoder, AnImageWithoutParameterBlockIsSound) {
    const DecodedImage image =
        decodeConfigImage(fromHex("10 00 00 00 10 00 00 00 10 00 00 00 10 00 00 00"));
    EXPECT_TRUE(image.nodes.empty());
    EXPECT_FALSE(image.parameters);
    EXPECT_TRUE(image.problems.empty());
}

TEST(ImageDecoder, RefusesWhatCannotBeDecoded) {
    struct Case {
        const char* name;
        std::string hex;
        std::string expected;
    };
    const Case cases[] = {
        {"shorter than the header", "10 00 00 00 10 00 00 00",
         "The image is 8 bytes long, shorter than its 16-byte header"},
        {"node table elsewhere", "11 00 00 00 11 00 00 00 11 00 00 00 11 00 00 00 00",
         "The node table offset is 17, not 16"},
        {"offsets descending", "10 00 00 00 10 00 00 00 0f 00 00 00 10 00 00 00",
         "The header offsets 16, 16, 15, 16 are not ascending within the image length 16"},
        {"offset beyond the length", "10 00 00 00 10 00 00 00 10 00 00 00 11 00 00 00",
         "The file is cut short at 16 bytes: its header places the parameter block at 17"},
        {"a whole image cut short in its write map",
         std::string(test::kExampleImage.substr(0, 44 * 3)),
         "The file is cut short at 44 bytes: its header places the parameter block at 48"},
        {"partial node record", "10 00 00 00 11 00 00 00 11 00 00 00 11 00 00 00 00",
         "The node table holds 1 byte, which is not a whole number of 9-byte records"},
        {"partial write record", "10 00 00 00 10 00 00 00 10 00 00 00 12 00 00 00 00 00",
         "The write map holds 2 bytes, which is not a whole number of 7-byte records"},
        {"short parameter block", "10 00 00 00 10 00 00 00 10 00 00 00 10 00 00 00 00 00",
         "The parameter block holds 2 bytes; it must hold 13 bytes or be absent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            decodeConfigImage(fromHex(c.hex));
            ADD_FAILURE() << "decoded";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), c.expected);
        }
    }
}

TEST(ImageDecoder, ListsWhatDisagrees) {
    std::vector<std::uint8_t> bytes = fromHex(test::kExampleImage);
    bytes[25 + 5] = 3;  // second node's input start: 3 instead of 4
    bytes[41 + 6] = 7;  // write record names node 7 of 2
    bytes[48 + 7] = 3;  // node count 3
    bytes[48 + 8] = 2;  // read count 2
    const DecodedImage image = decodeConfigImage(bytes);
    EXPECT_EQ(image.problems,
              (std::vector<std::string>{
                  "Node 2 starts at input 3 and output 2, but the nodes before it end at input 4 "
                  "and output 2",
                  "Record 1 of the write map names node 8, but the node table has 2 nodes",
                  "The parameter block counts 3 nodes, but the image holds 2",
                  "The parameter block counts 2 read records, but the image holds 1",
              }));
}

// The block keeps the node count in one byte: 256 node records stored as 0 are not sound.
TEST(ImageDecoder, ACountTheBlockCannotHoldDisagreesWithItsTable) {
    const std::uint32_t maps = 16 + 256 * 9;
    std::vector<std::uint8_t> bytes(maps + 13, 0);
    for (const std::uint32_t at : {4u, 8u, 12u}) {
        bytes[at] = static_cast<std::uint8_t>(maps);
        bytes[at + 1] = static_cast<std::uint8_t>(maps >> 8);
    }
    bytes[0] = 16;
    const DecodedImage image = decodeConfigImage(bytes);
    EXPECT_EQ(image.nodes.size(), 256u);
    EXPECT_EQ(image.problems, std::vector<std::string>{
                                  "The parameter block counts 0 nodes, but the image holds 256"});
}

TEST(ImageDecoder, ReadsFilesAndReportsUnreadableOnes) {
    test::TempDir dir;
    test::writeText(dir / "bank.bin",
                    std::string_view("\x10\0\0\0\x10\0\0\0\x10\0\0\0\x10\0\0\0", 16));
    EXPECT_TRUE(decodeConfigImageFile(dir / "bank.bin").problems.empty());
    EXPECT_THROW(decodeConfigImageFile(dir / "missing.bin"), Error);
    EXPECT_THROW(decodeConfigImageFile(dir.path()), Error);
}

// A file larger than any image is refused without being read whole.
TEST(ImageDecoder, RefusesAFileLargerThanTheCapacity) {
    test::TempDir dir;
    test::writeText(dir / "big.bin", std::string(image_format::kCapacity + 1, '\0'));
    try {
        decodeConfigImageFile(dir / "big.bin");
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("larger than 100004 bytes"), std::string::npos)
            << e.what();
    }
    if (std::filesystem::exists("/dev/zero")) {
        EXPECT_THROW(decodeConfigImageFile("/dev/zero"), Error);
    }
}

}  // namespace
}  // namespace velmora
