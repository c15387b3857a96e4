#include "cli/simulate.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <utility>

#include "cli/cli.h"
#include "cli/command_line.h"
#include "cli/gateway_line.h"
#include "cli/modbus_server.h"
#include "cli/node_data.h"
#include "cli/report_text.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/path_text.h"
#include "documents/comm_settings.h"
#include "image/composer.h"
#include "image/image_decoder.h"
#include "image/image_format.h"
#include "image/project_check.h"
#include "modbus/gateway_session.h"
#include "modbus/simulated_gateway.h"

namespace velmora::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: velmora-cli simulate (PROJECT_DIR | --image FILE) (--tcp HOST:PORT | --rtu DEVICE)\n"
    "                            [--baud N] [--parity none|even|odd]\n"
    "                            [--data FILE] [--state FILE] [--log FILE] [--verbose]\n"
    "                            [--idle-timeout SECONDS] [--strict]\n";
constexpr std::string_view kHelp =
    "Serves the register map of a configuration image as the configured gateway presents it on\n"
    "its Modbus side, so that a Modbus master program can be tried without the device. The image\n"
    "is composed from PROJECT_DIR exactly as 'compose' does (nothing is written), or read from\n"
    "FILE; rows the composer drops are not served.\n"
    "\n"
    "Function codes 3 and 4 read the read map: a register holds the output byte of its high\n"
    "choice times 256 plus the output byte of its low choice (\"None\" gives 0). Function codes 6\n"
    "and 16 write the write map: the high byte goes to the input byte of the high choice, the low\n"
    "byte to that of the low choice. A request touching a register outside the map gets\n"
    "exception 2, any other function code exception 1. Requests for another Modbus ID are\n"
    "ignored; a broadcast write (ID 0) is applied without an answer.\n"
    "\n"
    "Options:\n"
    "      --image FILE     serve the image in FILE instead of composing one\n"
    "      --tcp HOST:PORT  Modbus TCP on HOST (127.0.0.1 when left out, as in ':1502'); port 0\n"
    "                       picks a free port. Unit 255 is answered too\n"
    "      --rtu DEVICE     the serial DEVICE with the image's baud rate, parity and framing:\n"
    "                       Modbus RTU with 8 data bits and 1 stop bit, or for an image with\n"
    "                       the ASCII framing Modbus ASCII with 7 data bits and 1 stop bit (2\n"
    "                       without parity). A line that does not keep the settings is\n"
    "                       refused, but a pseudo-terminal, which carries 8 data bits without\n"
    "                       parity whatever it is told, is served at that, with a warning\n"
    "      --baud N         the serial baud rate instead of the image's\n"
    "      --parity P       none, even or odd instead of the image's\n"
    "      --data FILE      node output bytes as JSON by node position, for example\n"
    "                       {\"1\": {\"out\": [1, 2]}}; read again whenever it changes\n"
    "      --state FILE     write the node bytes as JSON, inputs as the master wrote them, at\n"
    "                       start and after every write: {\"1\": {\"in\": [...], \"out\": [...]}}\n"
    "      --log FILE       append the log to FILE instead of standard output\n"
    "      --verbose        log every request, every exception with its reason, every request\n"
    "                       ignored and every damaged frame\n"
    "      --idle-timeout SECONDS\n"
    "                       close a TCP connection silent this long (60 when left out)\n"
    "      --strict         refuse a project with errors (see check) or an image whose maps\n"
    "                       repeat a register index\n"
    "  -h, --help           show this help and exit\n"
    "\n"
    "The first line of standard output names the address served, or the device with its\n"
    "framing and its line as the line holds them. The log shows each written register with the\n"
    "node bytes it changed, clients coming and going, and data read.\n"
    "Up to 32 TCP clients are served at once; for one more, the oldest connection that has sent\n"
    "no request is closed, or failing that the one whose last request is oldest. A client that\n"
    "leaves 64 KB of answers unread is closed.\n"
    "Ctrl+C (SIGINT) or SIGTERM stops the simulator.\n"
    "\n"
    "Exit status: 0 when stopped by a signal; 1 when the image, the data file, the address or\n"
    "the device cannot be used; 2 for a usage error.\n";

constexpr std::string_view kDefaultHost = "127.0.0.1";

bool isPort(std::string_view text) {
    if (text.empty() || text.size() > 5) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return std::stoi(std::string(text)) <= 65535;
}

// The TCP host and port of HOST:PORT, [HOST]:PORT, :PORT or PORT; none for another text.
std::optional<std::pair<std::string, std::string>> tcpAddress(const std::string& address) {
    const auto colon = address.rfind(':');
    std::string host = colon == std::string::npos ? "" : address.substr(0, colon);
    const std::string port = colon == std::string::npos ? address : address.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (!isPort(port)) return std::nullopt;
    return std::pair{host.empty() ? std::string(kDefaultHost) : host, port};
}

constexpr int kMaxIdleTimeout = 86400;
constexpr int kMinBaud = 50;
constexpr int kMaxBaud = 4000000;

// The number in `text` when it is a decimal from `low` to `high`.
std::optional<int> decimal(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int value = std::stoi(text);
    if (value < low || value > high) return std::nullopt;
    return value;
}

// The seconds of --idle-timeout; none for a text that is not one.
std::optional<int> idleSeconds(const std::string& text) {
    return decimal(text, 1, kMaxIdleTimeout);
}

// The image to serve: composed from the project in memory, or decoded from a file.
DecodedImage loadImage(const SimulateOptions& options) {
    if (options.image) {
        try {
            return decodeConfigImageFile(*options.image);
        } catch (const std::exception& e) {
            throw Error(*options.image + ": " + e.what());
        }
    }
    if (const auto problem = notAProject(options.project)) throw Error(*problem);
    ConfigImage image;
    ComposeConfigImage(image, pathFromText(options.project));
    return decodeConfigImage(image.bytes());
}

// Warns when the project's serial protocol ("Ser_Prot") is not Modbus: the gateway then answers
// no Modbus master, however the simulator answers it.
void warnOfAnotherProtocol(const std::string& project, std::ostream& err) {
    const auto protocol =
        readCommSettingsFile(pathFromText(project) / image_format::kParGenFile)[kSerialProtocolList]
            .integer;
    if (protocol && isNotModbus(*protocol)) {
        failure(err, "warning: the project's serial protocol is not Modbus (\"Ser_Prot\" " +
                         std::to_string(*protocol) +
                         "): the gateway will not answer as the simulator does");
    }
}

}  // namespace

SimulateOptions parseSimulateArgs(const std::vector<std::string>& args) {
    const auto withValue = [](std::string_view name,
                              std::function<std::string(const std::string&)> check = {}) {
        return OptionRule{name, {}, "an argument", true, std::move(check)};
    };
    const OptionRule rules[] = {
        withValue("--image"),
        withValue("--tcp",
                  [](const std::string& value) {
                      return tcpAddress(value) ? std::string()
                                               : "'" + value +
                                                     "' is not HOST:PORT with a port from 0 to "
                                                     "65535";
                  }),
        withValue("--rtu"),
        {"--baud",
         {},
         "a number",
         true,
         [](const std::string& value) {
             return decimal(value, kMinBaud, kMaxBaud)
                        ? std::string()
                        : "'" + value + "' is not a number from " + std::to_string(kMinBaud) +
                              " to " + std::to_string(kMaxBaud) + " for --baud";
         }},
        {"--parity",
         {},
         "none, even or odd",
         true,
         [](const std::string& value) {
             return parityNamed(value) ? std::string()
                                       : "'" + value + "' is not a parity (none, even or odd)";
         }},
        withValue("--data"),
        withValue("--state"),
        withValue("--log"),
        withValue("--idle-timeout",
                  [](const std::string& value) {
                      return idleSeconds(value)
                                 ? std::string()
                                 : "'" + value + "' is not a number of seconds from 1 to " +
                                       std::to_string(kMaxIdleTimeout);
                  }),
        {"--strict"},
        {"--verbose"},
    };
    const ParsedArgs given = parseArgs(args, rules);
    SimulateOptions options;
    options.help = given.help;
    options.error = given.error;
    options.image = given.value("--image");
    options.rtuDevice = given.value("--rtu");
    options.data = given.value("--data");
    options.state = given.value("--state");
    options.log = given.value("--log");
    options.strict = given.flag("--strict");
    options.verbose = given.flag("--verbose");
    if (const auto tcp = given.value("--tcp"); tcp && options.error.empty()) {
        std::tie(options.tcpHost, options.tcpPort) = *tcpAddress(*tcp);
    }
    if (const auto idle = given.value("--idle-timeout"); idle && options.error.empty()) {
        options.idleTimeout = *idleSeconds(*idle);
    }
    if (const auto baud = given.value("--baud"); baud && options.error.empty()) {
        options.baud = std::stoi(*baud);
    }
    if (const auto parity = given.value("--parity"); parity && options.error.empty()) {
        options.parity = parityNamed(*parity);
    }
    if (!options.error.empty() || options.help) return options;
    const std::vector<std::string>& operands = given.operands;
    if (operands.size() > 1) {
        options.error = "unexpected argument '" + operands[1] + "'";
    } else if (operands.size() == 1 && options.image) {
        options.error = "give PROJECT_DIR or --image FILE, not both";
    } else if (operands.empty() && !options.image) {
        options.error = "missing PROJECT_DIR or --image FILE";
    } else if (options.tcpHost.has_value() == options.rtuDevice.has_value()) {
        options.error = options.rtuDevice ? "give --tcp or --rtu, not both"
                                          : "missing --tcp HOST:PORT or --rtu DEVICE";
    } else if (options.tcpHost && (options.baud || options.parity)) {
        options.error = "--baud and --parity set a serial port: they go with --rtu";
    } else if (operands.size() == 1) {
        options.project = operands.front();
    }
    return options;
}

int simulate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const SimulateOptions options = parseSimulateArgs(args);
    if (!options.error.empty()) return usageError(err, kUsage, options.error, "simulate");
    if (options.help) {
        out << kUsage << "\n" << kHelp;
        return kExitOk;
    }

    std::ofstream logFile;
    if (options.log) {
        logFile.open(*options.log, std::ios::app);
        if (!logFile) return failure(err, *options.log + ": " + systemErrorText(errno));
    }
    std::ostream& log = options.log ? logFile : out;
    const auto logLine = [&](const std::string& text) {
        log << timeStamp() << " " << text << std::endl;
    };

    try {
        const DecodedImage image = loadImage(options);
        const std::string source = options.image ? *options.image : options.project;
        for (const std::string& problem : image.problems) failure(err, source + ": " + problem);
        if (!image.parameters) {
            throw Error(source +
                        ": the image has no parameter block, so the gateway's Modbus ID "
                        "is unknown (is pargen.xml missing?)");
        }
        const std::uint8_t unitId = image.parameters->serialId;
        if (unitId < 1 || unitId > 247) {
            throw Error(source + ": the image's Modbus ID " + std::to_string(unitId) +
                        " is not a slave address (1 to 247)");
        }
        ServerSettings settings;
        settings.tcp = options.tcpHost.has_value();
        if (settings.tcp) {
            settings.host = *options.tcpHost;
            settings.port = options.tcpPort;
            settings.idleTimeout = std::chrono::seconds(options.idleTimeout);
        } else {
            settings.device = *options.rtuDevice;
            GatewayLine line = gatewayLine(*image.parameters);
            if (options.baud || options.parity) {
                line = gatewayLine(options.baud.value_or(line.line.baudRate),
                                   options.parity.value_or(line.line.parity), line.framing);
            }
            settings.line = line.line;
            settings.serialFraming = line.framing;
        }
        if (!options.image) warnOfAnotherProtocol(options.project, err);

        modbus::SimulatedGateway gateway(image, unitId, settings.tcp);
        for (const std::string& warning : gateway.warnings()) failure(err, source + ": " + warning);
        if (options.strict) {
            const std::size_t errors =
                options.image
                    ? 0
                    : countProblems(checkProject(pathFromText(options.project)), Severity::Error);
            if (errors > 0 || gateway.repeatedIndexes() > 0) {
                throw Error("--strict: " + source + " has " + plural(errors, "error") + " and " +
                            plural(gateway.repeatedIndexes(), "repeated index") +
                            (options.image ? "" : " (velmora-cli check lists them)"));
            }
        }
        std::optional<FileWatch> dataWatch;
        if (options.data) {
            // The stamp is taken first, so that a change made while the file is read is seen.
            dataWatch.emplace(*options.data);
            dataWatch->changed();
            gateway.setOutputs(readNodeData(*options.data, image.nodes));
        }
        const auto writeState = [&] {
            if (options.state)
                writeFileAtomically(pathFromText(*options.state), nodeStateJson(gateway));
        };
        writeState();

        ServerEvents events;
        events.listening = [&](const std::string& where) {
            out << "listening on " << where << std::endl;
            logLine("serving " + std::to_string(gateway.readRegisterCount()) + " read and " +
                    std::to_string(gateway.writeRegisterCount()) +
                    " write registers as Modbus ID " + std::to_string(unitId));
            if (options.data) logLine("data read from " + *options.data);
        };
        events.served = [&](const modbus::SessionOutput& output, const std::string& client) {
            if (options.verbose) {
                for (const std::string& error : output.errors) {
                    logLine(client + " damaged frame dropped: " + error);
                }
            }
            for (const modbus::Exchange& exchange : output.exchanges) {
                if (options.verbose) {
                    logLine(client + " " + modbus::describeRequest(exchange.request) + ": " +
                            modbus::describeAnswer(exchange.answer));
                }
                for (const modbus::RegisterWrite& write : exchange.answer.writes) {
                    logLine(
                        modbus::describeWrite(write) +
                        (exchange.request.unit == modbus::kBroadcastUnit ? " (broadcast)" : ""));
                }
            }
            if (!output.wrote()) return;
            try {
                writeState();
            } catch (const std::exception& e) {
                failure(err, e.what());
            }
        };
        events.notice = logLine;
        events.warning = [&](const std::string& text) { failure(err, "warning: " + text); };
        events.idle = [&] {
            if (!dataWatch || !dataWatch->changed()) return;
            try {
                gateway.setOutputs(readNodeData(*options.data, image.nodes));
                logLine("data read from " + *options.data);
            } catch (const std::exception& e) {
                failure(err, std::string(e.what()) + " (the previous data stay)");
            }
        };
        serveModbus(settings, gateway, events);
        logLine("stopped");
        return kExitOk;
    } catch (const std::exception& e) {
        // A document that does not compose is named, as 'compose' names it.
        return failure(err, failureText(e));
    }
}

}  // namespace velmora::cli
