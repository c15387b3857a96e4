#include "cli/eds_commands.h"

#include <array>
#include <exception>
#include <filesystem>
#include <optional>
#include <string_view>

#include "cli/cli.h"
#include "cli/command_line.h"
#include "cli/report_text.h"
#include "core/path_text.h"
#include "core/project_layout.h"
#include "documents/devicenet_network.h"
#include "documents/eds_file.h"
#include "documents/eds_import.h"
#include "documents/integer_text.h"

namespace velmora::cli {

namespace {

constexpr std::string_view kEdsUsage = "Usage: velmora-cli eds FILE... [--json]\n";
constexpr std::string_view kEdsHelp =
    "Reads DeviceNet Electronic Data Sheets (EDS) and shows, for each FILE, the device's\n"
    "identity, its I/O connections with their Input and Output entries, and the sizes it gives\n"
    "a node of the \"DeviceNet Network\" list: the default connection's Input (the data the\n"
    "device produces, which the gateway reads) gives \"N BYTE OUT\", its Output (the data the\n"
    "device consumes) gives \"N BYTE IN\". A file that cannot be imported is named on standard\n"
    "error with its line and the reason.\n"
    "\n"
    "Options:\n"
    "      --json  print one JSON object: \"files\", one object per FILE (\"error\" for one\n"
    "              refused)\n"
    "  -h, --help  show this help and exit\n"
    "\n"
    "Exit status: 0 when every file can be imported; 1 when one cannot; 2 for a usage error.\n";

constexpr std::string_view kNodeUsage =
    "Usage: velmora-cli node PROJECT_DIR ID --eds FILE [--mnemonic TEXT] [--json]\n";
constexpr std::string_view kNodeHelp =
    "Sets the node with DeviceNet ID in PROJECT_DIR/DNET_Net.xml from the data sheet FILE, as\n"
    "\"Import EDS...\" and OK of the \"DeviceNet Network\" dialog do: \"N BYTE IN\" and\n"
    "\"N BYTE OUT\" from the data sheet's default connection, the mnemonic from its product\n"
    "name where the row has none. The first row with that ID is set; without one, a row is\n"
    "appended with ID as given. The document is checked and written as the dialog writes it.\n"
    "\n"
    "Options:\n"
    "      --eds FILE       the data sheet (required)\n"
    "      --mnemonic TEXT  the row's mnemonic, in place of the one it has\n"
    "      --json           print the row written as one JSON object; a failure as\n"
    "                       {\"error\": ...}\n"
    "  -h, --help           show this help and exit\n"
    "\n"
    "Exit status: 0 when the row was written; 1 when the data sheet or DNET_Net.xml cannot be\n"
    "read, the list is full or fails the dialog's checks (nothing is written then); 2 for a\n"
    "usage error.\n";

// A refusal as the command names it: the file as given, then the line.
std::string refusalText(const std::string& file, const EdsError& e) {
    return file + (e.line() == 0 ? "" : ", line " + std::to_string(e.line())) + ": " + e.detail();
}

std::string optionalNumber(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : std::string("null");
}

// "Input1 10 bytes \"Status\"", or "no Input" for entry 0.
std::string entryText(const EdsFile& file, bool input, std::uint32_t number) {
    const char* what = input ? "Input" : "Output";
    if (number == 0) return std::string("no ") + what;
    for (const EdsIoEntry& e : input ? file.inputs : file.outputs) {
        if (e.number != number) continue;
        std::string text = what + std::to_string(number) + " " +
                           (e.size ? plural(static_cast<std::size_t>(*e.size), "byte") : "no size");
        return e.name.empty() ? text : text + " \"" + e.name + "\"";
    }
    return what + std::to_string(number) + " (not given)";
}

void writeEdsText(const std::string& given, const EdsFile& file, std::ostream& out) {
    const EdsIdentity& id = file.identity;
    out << given << ": " << (id.productName.empty() ? "(no product name)" : id.productName);
    if (!id.catalog.empty()) out << ", catalog " << id.catalog;
    if (!id.vendorName.empty() || id.vendorCode) {
        out << ", by " << id.vendorName << (id.vendorName.empty() ? "vendor " : " (vendor ")
            << optionalNumber(id.vendorCode) << (id.vendorName.empty() ? "" : ")");
    }
    if (id.productType) out << ", product type " << *id.productType;
    if (id.productCode) out << ", product code " << *id.productCode;
    if (id.majorRevision) {
        out << ", revision " << *id.majorRevision << "." << optionalNumber(id.minorRevision);
    }
    out << "\n";
    for (std::size_t i = 0; i < file.connections.size(); ++i) {
        const EdsConnection& c = file.connections[i];
        out << "  " << kEdsConnectionKinds[c.kind].name
            << (i == file.defaultConnection ? " (default)" : "") << ": "
            << entryText(file, true, c.input) << ", " << entryText(file, false, c.output) << "\n";
    }
    out << "  gives: N BYTE IN " << file.bytesIn << ", N BYTE OUT " << file.bytesOut << "\n";
}

void writeEntriesJson(const std::vector<EdsIoEntry>& entries, std::ostream& out) {
    out << "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const EdsIoEntry& e = entries[i];
        out << (i ? ", " : "") << "{\"number\": " << e.number
            << ", \"size\": " << optionalNumber(e.size) << ", \"name\": " << jsonString(e.name)
            << ", \"line\": " << e.line << "}";
    }
    out << "]";
}

void writeEdsJson(const std::string& given, const EdsFile& file, std::ostream& out) {
    const EdsIdentity& id = file.identity;
    out << "{\"file\": " << jsonString(given)
        << ", \"vendor_code\": " << optionalNumber(id.vendorCode)
        << ", \"vendor_name\": " << jsonString(id.vendorName)
        << ", \"product_type\": " << optionalNumber(id.productType)
        << ", \"product_code\": " << optionalNumber(id.productCode)
        << ", \"major_revision\": " << optionalNumber(id.majorRevision)
        << ", \"minor_revision\": " << optionalNumber(id.minorRevision)
        << ", \"product_name\": " << jsonString(id.productName)
        << ", \"catalog\": " << jsonString(id.catalog)
        << ",\n     \"default\": " << file.defaultMask << ", \"connections\": [";
    for (std::size_t i = 0; i < file.connections.size(); ++i) {
        const EdsConnection& c = file.connections[i];
        out << (i ? ", " : "") << "{\"kind\": " << jsonString(kEdsConnectionKinds[c.kind].name)
            << ", \"keyword\": " << jsonString(kEdsConnectionKinds[c.kind].keyword)
            << ", \"mask\": " << c.mask << ", \"input\": " << c.input
            << ", \"output\": " << c.output
            << ", \"default\": " << (i == file.defaultConnection ? "true" : "false") << "}";
    }
    out << "],\n     \"inputs\": ";
    writeEntriesJson(file.inputs, out);
    out << ", \"outputs\": ";
    writeEntriesJson(file.outputs, out);
    out << ",\n     \"NB_IN\": " << file.bytesIn << ", \"NB_OUT\": " << file.bytesOut << "}";
}

// The usage error, the help, or none to go on.
std::optional<int> helpOrUsage(const ParsedArgs& given, bool json, std::string_view usage,
                               std::string_view help, std::string_view command, std::ostream& out,
                               std::ostream& err) {
    if (!given.error.empty()) {
        if (json) out << "{\"error\": " << jsonString(given.error) << "}\n";
        return usageError(err, usage, given.error, command);
    }
    if (given.help) {
        out << usage << "\n" << help;
        return kExitOk;
    }
    return std::nullopt;
}

}  // namespace

int eds(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::array<OptionRule, 1> options = {{{"--json"}}};
    ParsedArgs given = parseArgs(args, options);
    const bool json = given.flag("--json");
    if (given.error.empty() && !given.help && given.operands.empty()) given.error = "missing FILE";
    if (const auto status = helpOrUsage(given, json, kEdsUsage, kEdsHelp, "eds", out, err)) {
        return *status;
    }
    int status = kExitOk;
    if (json) out << "{\"files\": [";
    for (std::size_t i = 0; i < given.operands.size(); ++i) {
        const std::string& file = given.operands[i];
        if (json) out << (i ? "," : "") << "\n    ";
        try {
            const EdsFile read = readEdsFile(pathFromText(file));
            json ? writeEdsJson(file, read, out) : writeEdsText(file, read, out);
        } catch (const EdsError& e) {
            status = failure(err, refusalText(file, e));
            if (json) {
                out << "{\"file\": " << jsonString(file)
                    << ", \"error\": " << jsonString(refusalText(file, e))
                    << ", \"line\": " << e.line() << "}";
            }
        } catch (const std::exception& e) {
            status = failure(err, e.what());
            if (json)
                out << "{\"file\": " << jsonString(file) << ", \"error\": " << jsonString(e.what())
                    << "}";
        }
    }
    if (json) out << "\n]}\n";
    return status;
}

int node(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::array<OptionRule, 3> options = {
        {{"--json"}, {"--eds", "", "a file", true}, {"--mnemonic", "", "a text"}}};
    ParsedArgs given = parseArgs(args, options);
    const bool json = given.flag("--json");
    const std::optional<std::string> edsFile = given.value("--eds");
    if (given.error.empty() && !given.help) {
        const std::vector<std::string>& operands = given.operands;
        if (operands.size() < 2) {
            given.error = operands.empty() ? "missing PROJECT_DIR" : "missing ID";
        } else if (operands.size() > 2) {
            given.error = "unexpected argument '" + operands[2] + "'";
        } else if (const auto id = parseIntegerText(operands[1]); !id || *id < 0 || *id > 63) {
            given.error = "the ID must be an integer from 0 to 63: '" + operands[1] + "'";
        } else if (!edsFile) {
            given.error = "missing --eds FILE";
        }
    }
    if (const auto status = helpOrUsage(given, json, kNodeUsage, kNodeHelp, "node", out, err)) {
        return *status;
    }
    const auto refuse = [&](const std::string& message) {
        if (json) out << "{\"error\": " << jsonString(message) << "}\n";
        return failure(err, message);
    };
    const std::string& project = given.operands[0];
    const std::string& idText = given.operands[1];
    if (const auto problem = notAProject(project)) return refuse(*problem);
    const std::filesystem::path document =
        pathFromText(project) / std::string(project_layout::kDNetNetFile);
    try {
        const EdsFile sheet = readEdsFile(pathFromText(*edsFile));
        const DNetNetworkRead read = readDNetNetworkFile(document);
        if (read.error) {
            return refuse(pathText(document) + " cannot be read: " + *read.error);
        }
        // The rows the dialog's OK would write: those before the first empty ID.
        std::vector<DNetRow> rows(
            read.rows.begin(),
            read.rows.begin() + static_cast<std::ptrdiff_t>(dnetNodeCount(read.rows)));
        const std::int32_t id = *parseIntegerText(idText);
        std::vector<std::size_t> matches;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (parseIntegerText(rows[i][kDNetId]) == id) matches.push_back(i);
        }
        if (matches.size() > 1) {
            return refuse("rows " + std::to_string(matches[0] + 1) + " and " +
                          std::to_string(matches[1] + 1) + " both have ID " + std::to_string(id) +
                          ": set the node in the \"DeviceNet Network\" dialog");
        }
        const bool appended = matches.empty();
        if (appended && rows.size() >= kDNetMaxNodes) {
            return refuse("the network already holds " + std::to_string(kDNetMaxNodes) + " nodes");
        }
        if (appended) rows.push_back(DNetRow{idText, "", "", ""});
        const std::size_t index = appended ? rows.size() - 1 : matches.front();
        fillRowFromEds(rows[index], sheet);
        if (const auto text = given.value("--mnemonic")) rows[index][kDNetMnemonic] = *text;
        if (const std::optional<std::string> message = checkDNetNetwork(rows)) {
            return refuse(*message);
        }
        writeDNetNetworkFile(document, rows);
        const DNetRow& row = rows[index];
        if (json) {
            out << "{\"document\": " << jsonString(pathText(document)) << ", \"row\": " << index + 1
                << ", \"appended\": " << (appended ? "true" : "false")
                << ", \"ID\": " << jsonString(row[kDNetId])
                << ", \"NB_IN\": " << jsonString(row[kDNetBytesIn])
                << ", \"NB_OUT\": " << jsonString(row[kDNetBytesOut])
                << ", \"Mnemonic\": " << jsonString(row[kDNetMnemonic])
                << ", \"eds\": " << jsonString(*edsFile) << "}\n";
        } else {
            out << pathText(document) << ", " << edsFillText(index + 1, sheet)
                << (appended ? " (appended)" : "") << "\n";
        }
        return kExitOk;
    } catch (const EdsError& e) {
        return refuse(refusalText(*edsFile, e));
    } catch (const std::exception& e) {
        return refuse(failureText(e));
    }
}

}  // namespace velmora::cli
