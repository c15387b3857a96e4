#include "documents/devicenet_network.h"

#include "core/atomic_file.h"
#include "core/error.h"
#include "documents/integer_text.h"

namespace velmora {

namespace {

// The range check of one numeric field and the end of its message.
struct FieldCheck {
    DNetField field;
    std::int32_t max;
    std::string_view message;
};

// Checked in this order within a row; the minimum is 0 for all three.
constexpr std::array<FieldCheck, 3> kFieldChecks = {{
    {kDNetId, 63, "!! ID must be 0 or 63. "},
    {kDNetBytesIn, 455, "!! Number Byte IN must be 0 or 455. "},
    {kDNetBytesOut, 455, "!! Number Byte OUT must be 0 or 455. "},
}};

std::string rowError(std::size_t number, std::string_view what) {
    return "Row " + std::to_string(number) + " of the DeviceNet network " + std::string(what);
}

}  // namespace

DNetNetworkRead readDNetNetwork(const XmlDocument& document) {
    DNetNetworkRead read;
    const std::optional<XmlNode> root = document.firstNode();
    if (!root) return read;
    for (const XmlNode& child : root->children()) {
        if (read.rows.size() == kDNetMaxNodes) break;
        const std::size_t number = read.rows.size() + 1;
        if (!child.isElement()) {
            read.error = rowError(number, "is not an element");
            return read;
        }
        DNetRow& row = read.rows.emplace_back();
        for (std::size_t field = 0; field < kDNetFieldCount; ++field) {
            std::optional<std::string> value = child.attribute(kDNetAttributes[field]);
            if (!value) {
                read.error = rowError(
                    number, "has no attribute \"" + std::string(kDNetAttributes[field]) + "\"");
                return read;
            }
            row[field] = std::move(*value);
        }
    }
    return read;
}

DNetNetworkRead readDNetNetworkFile(const std::filesystem::path& path) {
    if (!XmlDocument::fileExists(path)) return {};
    XmlDocument document;
    document.load(path);
    return readDNetNetwork(document);
}

std::size_t dnetNodeCount(const std::vector<DNetRow>& rows) {
    std::size_t count = 0;
    while (count < rows.size() && count < kDNetMaxNodes && !rows[count][kDNetId].empty()) ++count;
    return count;
}

std::vector<DNetProblem> dnetNetworkProblems(const std::vector<DNetRow>& rows) {
    std::vector<DNetProblem> problems;
    const std::size_t count = dnetNodeCount(rows);
    std::int32_t sumIn = 0;
    std::int32_t sumOut = 0;
    for (std::size_t i = 0; i < count; ++i) {
        for (const FieldCheck& check : kFieldChecks) {
            const std::int32_t value = integerTextOr(rows[i][check.field]);
            if (value < 0 || value > check.max) {
                problems.push_back(
                    {i + 1, "Error in row " + std::to_string(i + 1) + std::string(check.message),
                     check.field, value, check.max});
            } else if (check.field == kDNetBytesIn) {
                // At most 64 rows of at most 455 bytes: the sums cannot overflow.
                sumIn += value;
            } else if (check.field == kDNetBytesOut) {
                sumOut += value;
            }
        }
    }
    if (sumIn > kDNetMaxByteSum) {
        problems.push_back({0, "Error!! Number of Byte IN must be under 6000. ", kDNetBytesIn,
                            sumIn, kDNetMaxByteSum});
    }
    if (sumOut > kDNetMaxByteSum) {
        problems.push_back({0, "Error!! Number of Byte OUT must be under 6000. ", kDNetBytesOut,
                            sumOut, kDNetMaxByteSum});
    }
    return problems;
}

std::optional<std::string> checkDNetNetwork(const std::vector<DNetRow>& rows) {
    // The dialog stops at the first failure: with any row failing, the sums are never shown.
    std::vector<DNetProblem> problems = dnetNetworkProblems(rows);
    if (problems.empty()) return std::nullopt;
    return std::move(problems.front().message);
}

std::string dnetNetworkDocument(const std::vector<DNetRow>& rows) {
    XmlMarkupWriter out;
    out.open(kDNetRootElement);
    const std::size_t count = dnetNodeCount(rows);
    for (std::size_t i = 0; i < count; ++i) {
        out.open(kDNetRowElement);
        for (std::size_t field = 0; field < kDNetFieldCount; ++field) {
            try {
                out.attribute(kDNetAttributes[field], rows[i][field]);
            } catch (const Error&) {
                throw Error(rowError(
                    i + 1, "cannot be stored: its \"" + std::string(kDNetAttributes[field]) +
                               "\" value holds a character that XML does not allow"));
            }
        }
        out.close();
    }
    out.close();
    return out.take();
}

void writeDNetNetworkFile(const std::filesystem::path& path, const std::vector<DNetRow>& rows) {
    writeFileAtomically(path, dnetNetworkDocument(rows));
}

namespace {

// Reads one node row: "ID", "NB_IN" and "NB_OUT" in that order, each present and an integer
// text. Throws velmora::Error saying what failed ("attribute \"NB_OUT\" is missing").
DNetNodeRow readDNetNodeRow(const XmlStreamElement& row) {
    DNetNodeRow node;
    const auto field = [&row](DNetField field, std::string& text) {
        const std::int32_t value = integerAttribute(row, kDNetAttributes[field]);
        text = *row.attribute(kDNetAttributes[field]);
        return value;
    };
    node.id = field(kDNetId, node.idText);
    node.bytesIn = field(kDNetBytesIn, node.inText);
    node.bytesOut = field(kDNetBytesOut, node.outText);
    return node;
}

// Takes the children of the root as node rows until one fails or the limit is reached.
class NodeRowsReader : public XmlStreamHandler {
public:
    explicit NodeRowsReader(std::size_t limit) : limit_(limit) {}

    void element(const XmlStreamElement& element) override {
        if (element.depth() == 2 && taking()) {
            try {
                read_.rows.push_back(readDNetNodeRow(element));
            } catch (const Error& e) {
                read_.fault = RowFault{read_.rows.size() + 1, e.what()};
            }
        }
    }
    void otherNode(int depth, std::string_view name) override {
        if (depth == 2 && taking())
            read_.fault = RowFault{read_.rows.size() + 1, notAnElement(name)};
    }

    DNetNodeRows take() { return std::move(read_); }

private:
    bool taking() const { return !read_.fault && read_.rows.size() < limit_; }

    std::size_t limit_;
    DNetNodeRows read_;
};

}  // namespace

DNetNodeRows readDNetNodeRows(const std::filesystem::path& path, std::size_t limit) {
    NodeRowsReader reader(limit);
    readXmlStream(path, reader);
    return reader.take();
}

}  // namespace velmora
