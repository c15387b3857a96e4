#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "image/image_decoder.h"
#include "modbus/simulated_gateway.h"

namespace velmora::cli {

using modbus::NodeOutputs;

// Reads node data as JSON: an object whose keys are node positions counted from 1, each holding
// {"out": [bytes]}, for example {"1": {"out": [1, 2]}, "2": {"out": [255]}}. Throws Error
// "PLACE: reason" for text that is not JSON (PLACE is "line L, column C"), and for a node the
// image lacks, a node given twice, more bytes than the node has or a byte outside 0..255 (PLACE
// is a JSON pointer such as "/1/out/0").
NodeOutputs parseNodeData(std::string_view text, std::span<const DecodedNode> nodes);

// The same from a file; the message of the Error starts with the file's name.
NodeOutputs readNodeData(const std::filesystem::path& file, std::span<const DecodedNode> nodes);

// The gateway's node bytes in the shape of the node data, inputs as the writes left them:
// {"1": {"in": [0, 18], "out": [1, 2]}, ...}, every node by position, one line.
std::string nodeStateJson(const modbus::SimulatedGateway& gateway);

// Tells when a file has changed since it was last looked at.
class FileWatch {
public:
    explicit FileWatch(std::filesystem::path file) : file_(std::move(file)) {}

    // True when the file's modification time or size differs from the previous call's (the
    // first call compares with the state at construction: nothing known).
    bool changed();

private:
    struct Stamp {
        std::filesystem::file_time_type time;
        std::uintmax_t size = 0;
        bool operator==(const Stamp&) const = default;
    };
    std::filesystem::path file_;
    std::optional<Stamp> seen_;
    bool looked_ = false;
};

}  // namespace velmora::cli
