#include "image/device_map.h"

#include <algorithm>
#include <limits>
#include <map>

#include "documents/comm_settings.h"
#include "documents/devicenet_network.h"
#include "image/composer.h"

namespace velmora {

namespace fmt = image_format;

namespace {

// The records of one map by index, equal indexes in image order.
std::vector<DecodedRegister> byIndex(std::vector<DecodedRegister> map) {
    std::stable_sort(
        map.begin(), map.end(),
        [](const DecodedRegister& a, const DecodedRegister& b) { return a.index < b.index; });
    return map;
}

// Collects the rows of DefReg.xml whose node lies past the `nodeCount` nodes the composer counts,
// the rows of one list on one node as one: a large document can name a missing node a million
// times. The rows are read as if every node position were there, so that a dropped row's index is
// read.
class DroppedRows : public RegisterRowSink {
public:
    DroppedRows(std::uint8_t nodeCount, DeviceMap& map) : nodeCount_(nodeCount), map_(map) {}

    static constexpr std::size_t kEveryPosition = std::numeric_limits<std::int32_t>::max();

    void list(MapSide) override {}
    void row(MapSide side, const RegisterRowReading& row) override {
        const ReadValue& node = row.values[kRegisterNode];
        if (!node.integer || *node.integer <= nodeCount_) return;
        std::vector<DroppedRegister>& dropped =
            side == MapSide::Read ? map_.droppedRead : map_.droppedWrite;
        const auto [at, first] =
            (side == MapSide::Read ? readAt_ : writeAt_).emplace(*node.integer, dropped.size());
        if (!first) {
            ++dropped[at->second].moreRows;
            return;
        }
        const ReadValue& index = row.values[kRegisterIndex];
        dropped.push_back(
            {row.row.place.row, *node.integer, index.text.value_or(std::string()), index.integer});
    }

private:
    std::int32_t nodeCount_;
    DeviceMap& map_;
    // Where each node's dropped rows stand in the map's list.
    std::map<std::int32_t, std::size_t> readAt_;
    std::map<std::int32_t, std::size_t> writeAt_;
};

}  // namespace

DeviceMap readDeviceMap(const std::filesystem::path& projectDir) {
    ConfigImage image;
    ComposeConfigImage(image, projectDir);
    const DecodedImage decoded = decodeConfigImage(image.bytes());

    // The composer does not carry mnemonics: each comes from its own row, so that a row without
    // one leaves the rows after it theirs (the dialog stops reading at such a row).
    const DNetNetworkReading rows =
        readDNetNetworkDocument(projectDir / fmt::kDNetNetFile, decoded.nodes.size());
    DeviceMap map;
    for (std::size_t i = 0; i < decoded.nodes.size(); ++i) {
        std::string mnemonic;
        if (i < rows.rows.size()) {
            mnemonic = rows.rows[i].values[kDNetMnemonic].text.value_or(std::string());
        }
        map.nodes.push_back({decoded.nodes[i], std::move(mnemonic)});
    }
    map.readMap = byIndex(decoded.readMap);
    map.writeMap = byIndex(decoded.writeMap);
    map.parameters = decoded.parameters;
    map.fingerprint = decoded.fingerprint;
    // It composed, so the document reads whole; the composer counts nodes in 8 bits.
    DroppedRows dropped(static_cast<std::uint8_t>(decoded.nodes.size()), map);
    readRegisterMapRows(projectDir / fmt::kDefRegFile, DroppedRows::kEveryPosition, dropped);
    if (map.parameters) {
        // It composed, so the element is there and holds an integer text.
        map.protocol =
            readCommSettingsFile(projectDir / fmt::kParGenFile)[kSerialProtocolList].integer;
    }
    return map;
}

}  // namespace velmora
