// An EDS from the input, parsed as text and read as a file. A data sheet that is taken must give
// sizes the network list accepts: the row it fills passes the dialog's check, and read from a
// file, it can be written.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "documents/devicenet_network.h"
#include "documents/eds_file.h"
#include "documents/eds_import.h"
#include "fuzz_support.h"

namespace {

void requireAcceptable(const velmora::EdsFile& eds) {
    using namespace velmora;
    using velmora::fuzz::require;
    require(eds.defaultConnection < eds.connections.size(), "the default connection is one given");
    require(eds.bytesIn >= 0 && eds.bytesIn <= kDNetMaxNodeBytes, "the input count is in range");
    require(eds.bytesOut >= 0 && eds.bytesOut <= kDNetMaxNodeBytes, "the output count is in range");
    std::vector<DNetRow> rows{DNetRow{"1", "", "", "kept"}};
    fillRowFromEds(rows[0], eds);
    require(!checkDNetNetwork(rows).has_value(), "an imported row passes the dialog's check");
    require(rows[0][kDNetMnemonic] == "kept", "a mnemonic typed is kept");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    using namespace velmora::fuzz;
    const std::string_view text = asText(data, size);
    try {
        requireAcceptable(parseEds(text, "FUZZ.EDS"));
    } catch (const EdsError& e) {
        require(e.file() == "FUZZ.EDS", "a refusal names the file");
    }
    const auto file = scratch() / "FUZZ.EDS";
    writeFile(file, text);
    try {
        const EdsFile eds = readEdsFile(file);
        requireAcceptable(eds);
        // A file read whole gives a product name the document can carry (this throws if not).
        std::vector<DNetRow> rows{DNetRow{"1", "", "", ""}};
        fillRowFromEds(rows[0], eds);
        (void)dnetNetworkDocument(rows);
    } catch (const EdsError&) {
    }
    return 0;
}
