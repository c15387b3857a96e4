#include "core/failure_text.h"

namespace velmora {

std::string failureReportText(std::string_view message) {
    std::string text(message);
    // Compared as unsigned so that the bytes of a non-ASCII last character count as "after".
    if (!text.empty() &&
        static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) {
        text += '.';
    }
    return text;
}

}  // namespace velmora
