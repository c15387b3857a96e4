#include "image/device_map.h"

#include <algorithm>

#include "documents/devicenet_network.h"
#include "documents/xml_document.h"
#include "image/composer.h"
#include "image/image_decoder.h"

namespace velmora {

namespace fmt = image_format;

namespace {

std::vector<DeviceRegister> registers(const std::vector<DecodedRegister>& decoded) {
    std::vector<DeviceRegister> result;
    for (const DecodedRegister& r : decoded) {
        result.push_back({r.index, r.nodePosition, r.highByte(), r.lowByte()});
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const DeviceRegister& a, const DeviceRegister& b) { return a.index < b.index; });
    return result;
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
        const DecodedNode& n = decoded.nodes[i];
        std::string mnemonic = i < rows.rows.size() ? rows.rows[i][kDNetMnemonic] : std::string();
        map.nodes.push_back(
            {n.id, n.bytesIn, n.bytesOut, n.inputStart, n.outputStart, std::move(mnemonic)});
    }
    map.readMap = registers(decoded.readMap);
    map.writeMap = registers(decoded.writeMap);
    if (XmlDocument::fileExists(projectDir / fmt::kParGenFile)) {
        map.settings = readCommSettings(projectDir / fmt::kParGenFile);
    }
    return map;
}

}  // namespace velmora
