#include "image/device_map.h"

#include <algorithm>

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

}  // namespace

DeviceMap readDeviceMap(const std::filesystem::path& projectDir) {
    ConfigImage image;
    ComposeConfigImage(image, projectDir);
    const DecodedImage decoded = decodeConfigImage(image.bytes());

    // The composer does not carry mnemonics: they come from the rows as the dialog reads them.
    const DNetNetworkRead rows = readDNetNetworkFile(projectDir / fmt::kDNetNetFile);
    DeviceMap map;
    for (std::size_t i = 0; i < decoded.nodes.size(); ++i) {
        std::string mnemonic = i < rows.rows.size() ? rows.rows[i][kDNetMnemonic] : std::string();
        map.nodes.push_back({decoded.nodes[i], std::move(mnemonic)});
    }
    map.readMap = byIndex(decoded.readMap);
    map.writeMap = byIndex(decoded.writeMap);
    map.parameters = decoded.parameters;
    if (map.parameters) {
        // It composed, so the element is there and holds an integer text.
        map.protocol =
            readCommSettingsFile(projectDir / fmt::kParGenFile)[kCommSerialProtocol].integer;
    }
    return map;
}

}  // namespace velmora
