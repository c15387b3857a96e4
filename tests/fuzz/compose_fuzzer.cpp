// A project from the input: DNET_Net.xml, DefReg.xml and pargen.xml, in that order, separated by
// a line "----". What composes must decode, and decode without a problem.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "fuzz_support.h"
#include "image/composer.h"
#include "image/image_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    using namespace velmora::fuzz;
    static constexpr std::string_view kSeparator = "\n----\n";
    static constexpr const char* kFiles[] = {"DNET_Net.xml", "DefReg.xml", "pargen.xml"};
    std::string_view rest = asText(data, size);
    for (const char* name : kFiles) {
        const auto end = rest.find(kSeparator);
        const std::string_view part = rest.substr(0, end);
        std::filesystem::remove(scratch() / name);
        if (!part.empty()) writeFile(scratch() / name, part);  // empty: the document is missing
        rest = end == std::string_view::npos ? std::string_view()
                                             : rest.substr(end + kSeparator.size());
    }
    static ConfigImage image;  // made once for the run, as the application does
    try {
        ComposeConfigImage(image, scratch());
    } catch (const Error&) {
        require(!image.complete, "a failed composition leaves the image incomplete");
        return 0;
    }
    require(image.complete, "a composition that ran to its end is complete");
    try {
        const DecodedImage decoded = decodeConfigImage(image.bytes());
        require(decoded.problems.empty(), "a composed image decodes without problems");
    } catch (const Error&) {
        require(false, "a composed image decodes");
    }
    return 0;
}
