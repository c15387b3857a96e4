// An image from the input's bytes, decoded and reported as text and as JSON.
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "cli/image_report.h"
#include "core/error.h"
#include "image/image_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    DecodedImage decoded;
    try {
        decoded = decodeConfigImage({data, size});
    } catch (const Error&) {
        return 0;
    }
    std::ostringstream text;
    cli::writeImageText(decoded, text);
    std::ostringstream json;
    cli::writeImageJson(decoded, json);
    return 0;
}
