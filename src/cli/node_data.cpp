#include "cli/node_data.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "core/error.h"

namespace velmora::cli {

namespace {

using Json = nlohmann::json;

[[noreturn]] void refuse(const std::string& place, const std::string& reason) {
    throw Error(place + ": " + reason);
}

// The node position (counted from 1) a key names: decimal digits without a leading zero.
std::optional<std::size_t> nodeNumber(const std::string& key) {
    if (key.empty() || key.size() > 3 || key[0] == '0') return std::nullopt;
    std::size_t number = 0;
    for (const char c : key) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + static_cast<std::size_t>(c - '0');
    }
    return number;
}

std::vector<std::uint8_t> outputBytes(const Json& list, const std::string& place,
                                      std::size_t capacity) {
    if (!list.is_array()) refuse(place, "a list of bytes such as [1, 2] is expected");
    if (list.size() > capacity) {
        refuse(place, "the node has " + std::to_string(capacity) + " output byte" +
                          (capacity == 1 ? "" : "s") + ", " + std::to_string(list.size()) +
                          " are given");
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Json& value = list[i];
        const std::string at = place + "/" + std::to_string(i);
        if (!value.is_number_integer()) refuse(at, value.dump() + " is not a byte (0 to 255)");
        const auto number = value.get<std::int64_t>();
        if (value.is_number_unsigned() ? value.get<std::uint64_t>() > 255
                                       : number < 0 || number > 255) {
            refuse(at, value.dump() + " is not a byte (0 to 255)");
        }
        bytes.push_back(static_cast<std::uint8_t>(number));
    }
    return bytes;
}

}  // namespace

NodeOutputs parseNodeData(std::string_view text, std::span<const DecodedNode> nodes) {
    // A key given twice would silently stand for its last value: a node given twice is refused.
    std::set<std::string> given;
    const Json::parser_callback_t refuseRepeats = [&](int depth, Json::parse_event_t event,
                                                      Json& parsed) {
        if (depth == 1 && event == Json::parse_event_t::key && parsed.is_string()) {
            const std::string key = parsed.get<std::string>();
            if (nodeNumber(key) && !given.insert(key).second) {
                refuse("/" + key, "node " + key + " is given twice");
            }
        }
        return true;
    };
    Json data;
    try {
        data = Json::parse(text, refuseRepeats);
    } catch (const Json::parse_error& e) {
        // The library's text reads "[json.exception.parse_error.101] parse error at line 1, ...".
        std::string message = e.what();
        const std::string lead = "parse error at ";
        const auto at = message.find(lead);
        throw Error(at == std::string::npos ? message : message.substr(at + lead.size()));
    }
    if (!data.is_object()) refuse("/", "an object such as {\"1\": {\"out\": [1, 2]}} is expected");
    NodeOutputs outputs;
    for (const auto& [key, node] : data.items()) {
        const std::string place = "/" + key;
        const auto number = nodeNumber(key);
        if (!number) refuse(place, "\"" + key + "\" is not a node position (1, 2, ...)");
        if (*number > nodes.size()) {
            refuse(place, "the image has no node " + key + " (it has " +
                              std::to_string(nodes.size()) + ")");
        }
        if (!node.is_object()) refuse(place, "an object such as {\"out\": [1, 2]} is expected");
        for (const auto& [member, value] : node.items()) {
            if (member != "out")
                refuse(place + "/" + member, "unknown member (a node has \"out\")");
            outputs[*number - 1] = outputBytes(value, place + "/out", nodes[*number - 1].bytesOut);
        }
    }
    return outputs;
}

NodeOutputs readNodeData(const std::filesystem::path& file, std::span<const DecodedNode> nodes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Error(file.string() + ": " + systemErrorText(errno));
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw Error(file.string() + ": " + systemErrorText(errno));
    try {
        return parseNodeData(text, nodes);
    } catch (const Error& e) {
        throw Error(file.string() + ": " + e.what());
    }
}

std::string nodeStateJson(const modbus::SimulatedGateway& gateway) {
    nlohmann::ordered_json state = nlohmann::ordered_json::object();
    for (std::size_t position = 0; position < gateway.nodeCount(); ++position) {
        state[std::to_string(position + 1)] = {{"in", gateway.inputs(position)},
                                               {"out", gateway.outputs(position)}};
    }
    return state.dump() + "\n";
}

bool FileWatch::changed() {
    std::error_code ec;
    std::optional<Stamp> now;
    const auto time = std::filesystem::last_write_time(file_, ec);
    if (!ec) {
        const auto size = std::filesystem::file_size(file_, ec);
        if (!ec) now = Stamp{time, size};
    }
    const bool differs = !looked_ || now != seen_;
    looked_ = true;
    seen_ = now;
    return differs;
}

}  // namespace velmora::cli
