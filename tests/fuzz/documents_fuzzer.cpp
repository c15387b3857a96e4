// One of the three documents from the input's bytes (its first byte chooses which); a document
// that reads without error is saved, read again and must give what was saved.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "documents/comm_settings.h"
#include "documents/devicenet_network.h"
#include "documents/register_map.h"
#include "documents/xml_document.h"
#include "fuzz_support.h"

namespace velmora::fuzz {
namespace {

// Two nodes for the register map to be placed on.
constexpr std::string_view kNodes =
    R"(<DNET_Net><row ID="5" NB_IN="4" NB_OUT="2" Mnemonic="Drive"/>)"
    R"(<row ID="9" NB_IN="8" NB_OUT="6" Mnemonic=""/></DNET_Net>)";

void commSettings(std::string_view bytes) {
    const auto file = scratch() / "pargen.xml";
    writeFile(file, bytes);
    CommSettings settings;
    try {
        settings = readCommSettings(file);
    } catch (const Error&) {
        return;
    }
    (void)commSettingsProblem(settings);
    try {
        writeCommSettings(settings, file);
    } catch (const Error&) {
        return;  // a value XML cannot carry
    }
    require(readCommSettings(file) == settings, "pargen.xml reads back what was saved");
}

void devicenetNetwork(std::string_view bytes) {
    const auto file = scratch() / "DNET_Net.xml";
    writeFile(file, bytes);
    DNetNetworkRead read;
    try {
        read = readDNetNetworkFile(file);
    } catch (const Error&) {
        return;
    }
    (void)checkDNetNetwork(read.rows);
    if (read.error) return;
    std::string saved;
    try {
        saved = dnetNetworkDocument(read.rows);
    } catch (const Error&) {
        return;  // a value XML cannot carry
    }
    writeFile(file, saved);
    const DNetNetworkRead reread = readDNetNetworkFile(file);
    require(!reread.error, "a saved DNET_Net.xml reads without error");
    const std::size_t count = dnetNodeCount(read.rows);
    require(reread.rows.size() == count, "DNET_Net.xml reads back the rows saved");
    for (std::size_t i = 0; i < count; ++i) {
        require(reread.rows[i] == read.rows[i], "DNET_Net.xml reads back the values saved");
    }
}

void registerMap(std::string_view bytes) {
    const auto nodes = scratch() / "DNET_Net.xml";
    const auto map = scratch() / "DefReg.xml";
    writeFile(nodes, kNodes);
    writeFile(map, bytes);
    RegisterMapLoad load = LoadRegisterMap(nodes, map);
    if (!load.messages.empty()) return;
    const RegisterMap model = std::move(load.map);
    std::string saved;
    try {
        saved = registerMapDocument(model);
    } catch (const Error&) {
        return;  // an index that is not an integer from 0 to 65535
    }
    writeFile(map, saved);
    RegisterMapLoad reload = LoadRegisterMap(nodes, map);
    require(reload.messages.empty(), "a saved DefReg.xml reads without error");
    const RegisterMap reread = std::move(reload.map);
    require(registerMapDocument(reread) == saved, "DefReg.xml reads back what was saved");
}

}  // namespace
}  // namespace velmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora::fuzz;
    if (size == 0) return 0;
    const std::string_view document = asText(data + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            commSettings(document);
            break;
        case 1:
            devicenetNetwork(document);
            break;
        default:
            registerMap(document);
            break;
    }
    return 0;
}
