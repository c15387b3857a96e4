#include "documents/eds_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

#include "core/path_text.h"
#include "documents/devicenet_network.h"
#include "documents/eds_syntax.h"
#include "documents/xml_text.h"

namespace velmora {

namespace {

using eds_syntax::Entry;
using eds_syntax::Field;
using eds_syntax::numberOf;
using eds_syntax::sameWord;
using eds_syntax::Section;

std::string errorText(const std::string& file, std::size_t line, const std::string& detail) {
    return line == 0 ? file + ": " + detail
                     : file + ", line " + std::to_string(line) + ": " + detail;
}

// Reads the sections the network list needs out of the scanned text.
class Reader {
public:
    Reader(std::vector<Section> sections, std::string_view name)
        : sections_(std::move(sections)), name_(name) {}

    EdsFile read() {
        EdsFile eds;
        eds.name = name_;
        const Section* device = section("Device");
        if (device != nullptr) eds.identity = identity(*device);
        const Section* io = section("IO_Info");
        if (io == nullptr) refuse(0, "no [IO_Info] section: the file gives no I/O sizes");
        ioEntries(*io, eds);
        connections(*io, eds);
        chooseDefault(*io, eds);
        return eds;
    }

private:
    [[noreturn]] void refuse(std::size_t line, const std::string& detail) const {
        throw EdsError(std::string(name_), line, detail);
    }

    // The first section of that name; a repeated heading adds nothing the first does not have.
    const Section* section(std::string_view name) const {
        for (const Section& s : sections_) {
            if (sameWord(s.name, name)) return &s;
        }
        return nullptr;
    }

    // The entry of `keyword` in `section`; one given twice is refused.
    const Entry* entry(const Section& section, std::string_view keyword) const {
        const Entry* found = nullptr;
        for (const Entry& e : section.entries) {
            if (!sameWord(e.keyword, keyword)) continue;
            if (found != nullptr) {
                refuse(e.line, "\"" + e.keyword + "\" is given twice in [" + section.name +
                                   "] (first on line " + std::to_string(found->line) + ")");
            }
            found = &e;
        }
        return found;
    }

    std::int64_t number(const Entry& e, std::size_t index) const {
        if (index >= e.fields.size()) {
            refuse(e.line, "\"" + e.keyword + "\" has no field " + std::to_string(index + 1));
        }
        const std::optional<std::int64_t> value = numberOf(e.fields[index]);
        if (!value) {
            refuse(e.fields[index].line, "field " + std::to_string(index + 1) + " of \"" +
                                             e.keyword + "\" is not a number: \"" +
                                             e.fields[index].text + "\"");
        }
        return *value;
    }

    EdsIdentity identity(const Section& device) const {
        EdsIdentity id;
        const auto numberField = [&](std::string_view keyword, std::optional<std::int64_t>& to) {
            if (const Entry* e = entry(device, keyword)) to = number(*e, 0);
        };
        const auto textField = [&](std::string_view keyword, std::string& to) {
            const Entry* e = entry(device, keyword);
            if (e != nullptr && !e->fields.empty()) to = e->fields.front().text;
        };
        numberField("VendCode", id.vendorCode);
        textField("VendName", id.vendorName);
        numberField("ProdType", id.productType);
        numberField("ProdCode", id.productCode);
        numberField("MajRev", id.majorRevision);
        numberField("MinRev", id.minorRevision);
        textField("ProdName", id.productName);
        textField("Catalog", id.catalog);
        return id;
    }

    // Every "InputN" and "OutputN"; other keywords are passed over.
    void ioEntries(const Section& io, EdsFile& eds) const {
        for (const Entry& e : io.entries) {
            const bool input = e.keyword.size() > 5 && sameWord(e.keyword.substr(0, 5), "Input");
            const bool output = e.keyword.size() > 6 && sameWord(e.keyword.substr(0, 6), "Output");
            if (!input && !output) continue;
            const Field digits{e.keyword.substr(input ? 5 : 6), false, e.line};
            if (digits.text.find_first_not_of("0123456789") != std::string::npos) continue;
            const std::optional<std::int64_t> n = numberOf(digits);
            if (!n) continue;
            std::vector<EdsIoEntry>& list = input ? eds.inputs : eds.outputs;
            const auto number = static_cast<std::uint32_t>(*n);
            for (const EdsIoEntry& earlier : list) {
                if (earlier.number == number) {
                    refuse(e.line, "\"" + e.keyword + "\" is given twice in [" + io.name +
                                       "] (first on line " + std::to_string(earlier.line) + ")");
                }
            }
            EdsIoEntry& item = list.emplace_back();
            item.number = number;
            item.line = e.line;
            if (!e.fields.empty()) item.size = numberOf(e.fields[0]);
            if (e.fields.size() > 3) item.name = e.fields[3].text;
        }
    }

    void connections(const Section& io, EdsFile& eds) const {
        for (std::size_t kind = 0; kind < kEdsConnectionKinds.size(); ++kind) {
            const Entry* e = entry(io, kEdsConnectionKinds[kind].keyword);
            if (e == nullptr) continue;
            EdsConnection& c = eds.connections.emplace_back();
            c.kind = kind;
            c.line = e->line;
            c.mask = number(*e, 0);
            const std::int64_t input = number(*e, 1);
            const std::int64_t output = number(*e, 2);
            if (input < 0 || output < 0) {
                refuse(e->line, "\"" + e->keyword + "\" names a negative entry number");
            }
            c.input = static_cast<std::uint32_t>(input);
            c.output = static_cast<std::uint32_t>(output);
        }
    }

    // The size of entry `number` of `list`, which a connection on `line` names.
    std::int32_t entrySize(const std::vector<EdsIoEntry>& list, std::string_view what,
                           std::uint32_t number, const EdsConnection& c) const {
        if (number == 0) return 0;
        const std::string entryName = std::string(what) + std::to_string(number);
        const auto found = std::find_if(list.begin(), list.end(),
                                        [&](const EdsIoEntry& e) { return e.number == number; });
        if (found == list.end()) {
            refuse(c.line, "\"" + std::string(kEdsConnectionKinds[c.kind].keyword) + "\" names " +
                               entryName + ", which [IO_Info] does not hold");
        }
        if (!found->size || *found->size < 0) {
            refuse(found->line, entryName + " gives no size in bytes");
        }
        if (*found->size > kDNetMaxNodeBytes) {
            refuse(found->line, entryName + " is " + std::to_string(*found->size) +
                                    " bytes: a node exchanges at most " +
                                    std::to_string(kDNetMaxNodeBytes));
        }
        return static_cast<std::int32_t>(*found->size);
    }

    // The first connection that "Default" names and the file gives, with its entries' sizes.
    void chooseDefault(const Section& io, EdsFile& eds) const {
        const Entry* def = entry(io, "Default");
        if (def == nullptr) refuse(io.line, "[IO_Info] has no \"Default\" connection");
        eds.defaultMask = number(*def, 0);
        for (std::size_t i = 0; i < eds.connections.size(); ++i) {
            const EdsConnection& c = eds.connections[i];
            if ((eds.defaultMask & kEdsConnectionKinds[c.kind].bit) == 0) continue;
            if (c.input == 0 && c.output == 0) continue;
            eds.defaultConnection = i;
            eds.bytesOut = entrySize(eds.inputs, "Input", c.input, c);
            eds.bytesIn = entrySize(eds.outputs, "Output", c.output, c);
            return;
        }
        refuse(def->line,
               "no usable default connection: \"Default\" names none of the "
               "connections given with an Input or Output entry");
    }

    std::vector<Section> sections_;
    std::string_view name_;
};

// The line of the first byte that no text file holds, or 0 when there is none.
std::size_t lineOfControlByte(std::string_view bytes) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n') ++line;
        // A trailing Ctrl+Z is the end mark of old DOS editors.
        const bool endMark = c == 0x1A && i + 1 == bytes.size();
        const bool lineText = c == '\t' || c == '\n' || c == '\r';
        if ((c < 0x20 || c == 0x7F) && !lineText && !endMark) {
            return line;
        }
    }
    return 0;
}

// True for UTF-8 that XML can carry.
bool isUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = xml_internal::utf8SequenceLength(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return !xml_internal::holdsNonXmlCharacter(bytes);
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            text += ch;
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

}  // namespace

EdsError::EdsError(std::string file, std::size_t line, std::string detail)
    : Error(errorText(file, line, detail)),
      file_(std::move(file)),
      line_(line),
      detail_(std::move(detail)) {}

EdsFile parseEds(std::string_view text, std::string_view name) {
    eds_syntax::refuseCanOpen(text, name);
    return Reader(eds_syntax::scan(text, name), name).read();
}

EdsFile readEdsFile(const std::filesystem::path& path) {
    const std::string name = pathText(path.filename());
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw EdsError(name, 0, "is a folder, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error("cannot read " + pathText(path));
    std::string bytes;
    char buffer[65536];
    while (in && bytes.size() <= kEdsMaxFileSize) {
        in.read(buffer, sizeof buffer);
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) throw Error("cannot read " + pathText(path));
    if (bytes.size() > kEdsMaxFileSize) {
        throw EdsError(name, 0, "is over 1 MiB: not an EDS file");
    }
    if (const std::size_t line = lineOfControlByte(bytes)) {
        throw EdsError(name, line, "not a text file (it holds control characters)");
    }
    if (bytes.ends_with('\x1A')) bytes.pop_back();
    if (isUtf8(bytes)) return parseEds(bytes, name);
    return parseEds(latin1ToUtf8(bytes), name);
}

}  // namespace velmora
