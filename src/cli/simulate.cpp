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

#include "cli/cli.h"
#include "cli/command_line.h"
#include "cli/modbus_server.h"
#include "cli/node_data.h"
#include "cli/report_text.h"
#include "cli/simulated_gateway.h"
#include "core/error.h"
#include "core/path_text.h"
#include "image/composer.h"
#include "image/image_decoder.h"
#include "image/image_format.h"
#include "image/project_check.h"

namespace velmora::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: velmora-cli simulate (PROJECT_DIR | --image FILE) (--tcp HOST:PORT | --rtu DEVICE)\n"
    "                            [--data FILE] [--log FILE] [--strict]\n";
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
    "      --rtu DEVICE     Modbus RTU on the serial DEVICE with the image's baud rate and\n"
    "                       parity, 8 data bits and 1 stop bit\n"
    "      --data FILE      node output bytes as JSON by node position, for example\n"
    "                       {\"1\": {\"out\": [1, 2]}}; read again whenever it changes\n"
    "      --log FILE       append the log to FILE instead of standard output\n"
    "      --strict         refuse a project with errors (see check) or an image whose maps\n"
    "                       repeat a register index\n"
    "  -h, --help           show this help and exit\n"
    "\n"
    "The first line of standard output names the address or device served. The log shows each\n"
    "written register with the node bytes it changed, clients coming and going, and data read.\n"
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

// Sets the TCP host and port from HOST:PORT, [HOST]:PORT, :PORT or PORT.
void setTcpAddress(SimulateOptions& options, const std::string& address) {
    const auto colon = address.rfind(':');
    std::string host = colon == std::string::npos ? "" : address.substr(0, colon);
    const std::string port = colon == std::string::npos ? address : address.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (!isPort(port)) {
        options.error = "'" + address + "' is not HOST:PORT with a port from 0 to 65535";
        return;
    }
    options.tcpHost = host.empty() ? std::string(kDefaultHost) : host;
    options.tcpPort = port;
}

// A local time stamp with milliseconds, as "2026-12-10 13:45:31.123".
std::string timeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    const std::size_t size = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis));
    return std::string(text, size) + fraction;
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

// The serial line of the image's parameter block; throws Error for settings libmodbus cannot use.
void setSerialLine(ServerSettings& settings, const DecodedParameters& parameters) {
    namespace fmt = image_format;
    if (parameters.framing != 0) {
        throw Error(
            "the image asks for the ASCII serial framing, which the simulator cannot "
            "speak: only the binary framing (Modbus RTU, JBUS, Binary) is served");
    }
    const auto baud = fmt::meaningOf(fmt::kSerialBauds, parameters.serialBaud);
    const auto parity = fmt::meaningOf(fmt::kParities, parameters.parity);
    if (!baud)
        throw Error("the image's serial baud rate code " + std::to_string(parameters.serialBaud) +
                    " has no meaning");
    if (!parity)
        throw Error("the image's parity code " + std::to_string(parameters.parity) +
                    " has no meaning");
    settings.baud = std::stoi(std::string(*baud));
    settings.parity = parity->front();  // "NONE", "EVEN", "ODD"
}

}  // namespace

SimulateOptions parseSimulateArgs(const std::vector<std::string>& args) {
    SimulateOptions options;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size() && options.error.empty(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "--strict") {
            options.strict = true;
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        std::optional<std::string>* target = name == "--image"  ? &options.image
                                             : name == "--rtu"  ? &options.rtuDevice
                                             : name == "--data" ? &options.data
                                             : name == "--log"  ? &options.log
                                                                : nullptr;
        if (target == nullptr && name != "--tcp") {
            options.error = "unrecognized option '" + arg + "'";
            break;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            options.error = "option '" + name + "' requires an argument";
            break;
        }
        if (value.empty()) {
            options.error = "option '" + name + "' requires an argument";
        } else if (target == nullptr) {
            setTcpAddress(options, value);
        } else {
            *target = value;
        }
    }
    if (!options.error.empty() || options.help) return options;
    if (operands.size() > 1) {
        options.error = "unexpected argument '" + operands[1] + "'";
    } else if (operands.size() == 1 && options.image) {
        options.error = "give PROJECT_DIR or --image FILE, not both";
    } else if (operands.empty() && !options.image) {
        options.error = "missing PROJECT_DIR or --image FILE";
    } else if (options.tcpHost.has_value() == options.rtuDevice.has_value()) {
        options.error = options.rtuDevice ? "give --tcp or --rtu, not both"
                                          : "missing --tcp HOST:PORT or --rtu DEVICE";
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
        } else {
            settings.device = *options.rtuDevice;
            setSerialLine(settings, *image.parameters);
        }

        SimulatedGateway gateway(image, unitId, settings.tcp);
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

        ServerEvents events;
        events.listening = [&](const std::string& where) {
            out << "listening on " << where;
            if (!settings.tcp) {
                out << " (" << settings.baud << " baud, parity "
                    << image_format::kParities[image.parameters->parity]
                    << ", 8 data bits, 1 stop bit)";
            }
            out << std::endl;
            logLine("serving " + std::to_string(gateway.readRegisterCount()) + " read and " +
                    std::to_string(gateway.writeRegisterCount()) +
                    " write registers as Modbus ID " + std::to_string(unitId));
        };
        events.wrote = [&](const Answer& answer, std::uint8_t unit) {
            for (const RegisterWrite& write : answer.writes) {
                logLine(describeWrite(write) + (unit == kBroadcastUnit ? " (broadcast)" : ""));
            }
        };
        events.notice = logLine;
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
