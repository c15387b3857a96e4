#include "documents/xml_document.h"

#include <algorithm>
#include <array>
#include <utility>

#include "core/error.h"
#include "documents/xml_text.h"

namespace velmora {

using xml_internal::failNonXmlCharacter;
using xml_internal::holdsNonXmlCharacter;

namespace {

// The references the serialiser writes in an attribute value; every other byte goes as it is.
struct AttributeEscape {
    char character;
    std::string_view reference;
};
constexpr std::array<AttributeEscape, 7> kAttributeEscapes{{{'<', "&lt;"},
                                                            {'>', "&gt;"},
                                                            {'&', "&amp;"},
                                                            {'"', "&quot;"},
                                                            {'\n', "&#10;"},
                                                            {'\r', "&#13;"},
                                                            {'\t', "&#9;"}}};

}  // namespace

void XmlMarkupWriter::open(std::string_view name) {
    if (inStartTag_) out_ += '>';
    out_.append("<").append(name);
    open_.emplace_back(name);
    inStartTag_ = true;
}

void XmlMarkupWriter::attribute(std::string_view name, std::string_view value) {
    if (holdsNonXmlCharacter(value)) {
        failNonXmlCharacter("value of attribute " + quotedValue(name));
    }
    out_.append(" ").append(name).append("=\"");
    for (const char c : value) {
        const auto* escape =
            std::find_if(kAttributeEscapes.begin(), kAttributeEscapes.end(),
                         [c](const AttributeEscape& e) { return e.character == c; });
        if (escape == kAttributeEscapes.end()) {
            out_ += c;
        } else {
            out_ += escape->reference;
        }
    }
    out_ += '"';
}

void XmlMarkupWriter::close() {
    if (inStartTag_) {
        out_ += "/>";
    } else {
        out_.append("</").append(open_.back()).append(">");
    }
    open_.pop_back();
    inStartTag_ = false;
}

std::string XmlMarkupWriter::take() {
    if (!open_.empty()) throw Error("Element \"" + open_.back() + "\" is still open");
    return std::move(out_);
}

}  // namespace velmora
