#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"

namespace velmora {

// An Electronic Data Sheet that cannot be imported: the file, the line (0 for the file as a
// whole) and the reason. what() names all three: "PUMP.EDS, line 12: ...".
class EdsError : public Error {
public:
    EdsError(std::string file, std::size_t line, std::string detail);

    const std::string& file() const { return file_; }
    std::size_t line() const { return line_; }
    const std::string& detail() const { return detail_; }

private:
    std::string file_;
    std::size_t line_;
    std::string detail_;
};

// The largest EDS file read; anything longer is no data sheet.
inline constexpr std::uintmax_t kEdsMaxFileSize = std::uintmax_t{1024} * 1024;

// The I/O connection kinds of [IO_Info], in the order a default mask naming several is tried.
struct EdsConnectionKind {
    std::uint32_t bit;         // its bit in "Default" and in the connection masks
    std::string_view keyword;  // its entry in [IO_Info]
    std::string_view name;     // as reports name it
};
inline constexpr std::array<EdsConnectionKind, 4> kEdsConnectionKinds = {{
    {0x0001, "PollInfo", "polled"},
    {0x0002, "StrobeInfo", "strobed"},
    {0x0004, "COSInfo", "change of state"},
    {0x0008, "CyclicInfo", "cyclic"},
}};

// One "InputN" or "OutputN" entry of [IO_Info].
struct EdsIoEntry {
    std::uint32_t number = 0;          // N
    std::optional<std::int64_t> size;  // bytes; none when the field is empty or not a number
    std::string name;
    std::size_t line = 0;
};

// One connection entry of [IO_Info] ("PollInfo" ...): the numbers of its default Input and
// Output entries, 0 for none.
struct EdsConnection {
    std::size_t kind = 0;  // index into kEdsConnectionKinds
    std::int64_t mask = 0;
    std::uint32_t input = 0;
    std::uint32_t output = 0;
    std::size_t line = 0;
};

// What [Device] says of the device; a value not given stays empty.
struct EdsIdentity {
    std::optional<std::int64_t> vendorCode;
    std::string vendorName;
    std::optional<std::int64_t> productType;
    std::optional<std::int64_t> productCode;
    std::optional<std::int64_t> majorRevision;
    std::optional<std::int64_t> minorRevision;
    std::string productName;
    std::string catalog;
};

// An EDS as the network list takes it.
struct EdsFile {
    std::string name;  // the file, as messages name it
    EdsIdentity identity;
    std::int64_t defaultMask = 0;
    std::vector<EdsConnection> connections;  // those given, in kEdsConnectionKinds order
    std::vector<EdsIoEntry> inputs;          // in file order
    std::vector<EdsIoEntry> outputs;
    std::size_t defaultConnection = 0;  // index into connections: the one the sizes come from
    // The device's produced data (its default Input): what the gateway reads, "NB_OUT".
    std::int32_t bytesOut = 0;
    // The device's consumed data (its default Output): what the gateway writes, "NB_IN".
    std::int32_t bytesIn = 0;
};

// Parses the UTF-8 `text` of an EDS; `name` names it in messages. Throws EdsError for a file
// without [IO_Info] or a usable default connection, a default size over 455, a CANopen data
// sheet, or text that does not follow the EDS syntax. Unknown sections and keywords are passed
// over.
EdsFile parseEds(std::string_view text, std::string_view name);

// Reads and parses the EDS at `path`, named by its file name. Throws EdsError for a file over
// kEdsMaxFileSize or holding control characters (not a text file), and as parseEds does;
// velmora::Error when it cannot be read. Text that is not UTF-8 is taken as Latin-1.
EdsFile readEdsFile(const std::filesystem::path& path);

}  // namespace velmora
