#include "cli/monitor.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>
#include <iostream>
#include <string_view>

#include "cli/cli.h"
#include "cli/command_line.h"
#include "cli/gateway_line.h"
#include "cli/monitor_poll.h"
#include "cli/monitor_report.h"
#include "cli/monitor_run.h"
#include "cli/report_text.h"
#include "cli/socket_io.h"
#include "cli/stop_signals.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/path_text.h"
#include "documents/comm_lists.h"
#include "image/device_map.h"
#include "modbus/protocol.h"

namespace velmora::cli {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kUsage =
    "Usage: velmora-cli monitor PROJECT_DIR (--port DEVICE | --tcp HOST[:PORT])\n"
    "                           [--baud N] [--parity none|even|odd] [--unit N] [--function 3|4]\n"
    "                           [--interval MS] [--timeout MS] [--once] [--json]\n"
    "                           [--csv FILE [--changes]]\n";
constexpr std::string_view kHelp =
    "Polls the gateway's read map and shows every register with the node bytes it carries, as\n"
    "the project's image places them, so that after \"Update Device\" each node byte can be seen\n"
    "arriving at its register. The image is composed from PROJECT_DIR as 'compose' does (nothing\n"
    "is written). Registers are read in as few requests as possible: runs of consecutive\n"
    "registers, at most 125 a request; a register outside the map is never asked for. A run\n"
    "refused as an illegal data address (exception 2) is read register by register, so the\n"
    "refused one is named and the rest still shown. A run answered \"busy\" (exceptions 5, 6,\n"
    "10 and 11) is asked again as it was after 0.1, 0.2 and 0.4 s; other exceptions are named\n"
    "for the whole run. The monitor only reads: it never writes a register.\n"
    "\n"
    "On a terminal a live table is refreshed in place: each node with its bytes in hexadecimal\n"
    "(the bytes changed since the last poll highlighted, ?? for a byte whose register did not\n"
    "read, .. for a byte no register carries), each register with its node bytes and value, and\n"
    "a status line with the poll count, the round trip (median and worst), timeouts, CRC/LRC\n"
    "errors and exceptions by code. The arrow and page keys (or h, j, k, l) scroll, left and\n"
    "right eight bytes at a time under a ruler that numbers every eighth byte; Home goes back\n"
    "to the top left; q quits.\n"
    "Otherwise, or with --once, one poll is printed, as text or as JSON. In JSON a node's\n"
    "\"bytes\" hold null for a byte not known, and its \"carried\" tell which of them a register\n"
    "carries (true: its register did not answer; false: no register carries it).\n"
    "\n"
    "A run that polls until stopped (the live table or --csv, without --once) goes on through\n"
    "timeouts and through a lost connection or line: that is told on standard error (in the\n"
    "live table, on the status line) and in the log, and the connection or port is made again\n"
    "after 0.5 s, then after twice the pause of the attempt before, up to 8 s, until it comes\n"
    "back or the run is stopped. With --once a failure ends the run.\n"
    "\n"
    "Options:\n"
    "      --port DEVICE    the serial port, opened for this program alone, with the project's\n"
    "                       baud rate, parity and framing (Modbus RTU, or Modbus ASCII for the\n"
    "                       ASCII framing)\n"
    "      --tcp HOST[:PORT]\n"
    "                       Modbus TCP (a serial-to-Ethernet converter, or 'simulate'); port 502\n"
    "                       when left out\n"
    "      --baud N         the serial baud rate instead of the project's\n"
    "      --parity P       none, even or odd instead of the project's\n"
    "      --unit N         the Modbus ID to ask (1 to 255) instead of the project's\n"
    "      --function F     3 (holding registers, the default) or 4 (input registers)\n"
    "      --interval MS    time from one poll to the next (500 when left out)\n"
    "      --timeout MS     time to wait for an answer (1000 when left out)\n"
    "      --once           one poll, printed, even on a terminal\n"
    "      --json           print the poll as one JSON object; a failure as {\"error\": ...}\n"
    "      --csv FILE       append one row per poll and register to FILE (time, register,\n"
    "                       node, node_id, mnemonic, high_byte, low_byte, value); without\n"
    "                       --once the monitor polls until stopped, on a terminal or not. A\n"
    "                       lost and restored link is a row of its own, with the register\n"
    "                       empty and the event in the mnemonic column\n"
    "      --changes        with --csv: a register's row at the first poll, then only when\n"
    "                       its value changes (an unread register's value is empty)\n"
    "  -h, --help           show this help and exit\n"
    "\n"
    "Ctrl+C (SIGINT) or SIGTERM ends a run with a summary.\n"
    "\n"
    "Exit status: 0 when stopped, or for one poll in which every register read; 1 when the\n"
    "project, the port or the address cannot be used at the start, or for one poll in which\n"
    "the gateway never answers, the link fails or a register did not read; 2 for a usage\n"
    "error.\n";

// The number in `text` when it is a decimal from `low` to `high`.
std::optional<int> decimal(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int value = std::stoi(text);
    if (value < low || value > high) return std::nullopt;
    return value;
}

// HOST, HOST:PORT, [HOST]:PORT, [HOST] or :PORT (on this machine); an address with more than one
// colon and no brackets is a host alone.
std::optional<std::pair<std::string, std::string>> tcpTarget(const std::string& text) {
    std::string host = text;
    std::string port = "502";
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
        }
    } else if (text.find(':') != std::string::npos && text.find(':') == text.rfind(':')) {
        host = text.substr(0, text.find(':'));
        port = text.substr(text.find(':') + 1);
    }
    if (!decimal(port, 1, 65535)) return std::nullopt;
    return std::pair{host.empty() ? std::string("127.0.0.1") : host, port};
}

// The stored value of the parity that `text` names: its text in the parity list, in lower case.
std::optional<int> parityCode(const std::string& text) {
    for (const auto& item : kSerialParityList.items) {
        const bool named = std::ranges::equal(item.label, text, [](char listed, char given) {
            return std::tolower(static_cast<unsigned char>(listed)) == given;
        });
        if (named) return item.value;
    }
    return std::nullopt;
}

OptionRule numberOption(std::string_view name, int low, int high) {
    return {name, {}, "a number", true, [name, low, high](const std::string& value) {
                return decimal(value, low, high)
                           ? std::string()
                           : "'" + value + "' is not a number from " + std::to_string(low) +
                                 " to " + std::to_string(high) + " for " + std::string(name);
            }};
}

// What the failure to hear the gateway most likely means, said once.
std::string silenceText(const LinkTarget& target, std::uint8_t unit, std::chrono::milliseconds t) {
    std::string text = "no answer from unit " + std::to_string(unit) + " on " + target.name() +
                       " within " + std::to_string(t.count()) + " ms";
    if (target.tcpHost) {
        return text +
               ". Likely causes: the converter's serial side runs at another baud rate or "
               "parity than the gateway, the Modbus ID is not the gateway's (--unit), or the "
               "converter is not wired to the gateway";
    }
    return text + ". Likely causes: the baud rate or parity is not the gateway's (" +
           describeLine(target.line) +
           " here; --baud, --parity), the Modbus ID is not the gateway's (--unit), or the "
           "wiring (RS485 A and B swapped, no common ground, another port)";
}

// Where the gateway is reached: the TCP address, or the serial device with the project's line
// and the options that change it (warning on `err` when the project's protocol is not Modbus).
LinkTarget linkTarget(const MonitorOptions& options, const DeviceMap& map, std::ostream& err) {
    LinkTarget target;
    target.tcpHost = options.tcpHost;
    target.tcpPort = options.tcpPort;
    if (!options.port) return target;
    target.device = *options.port;
    target.line = gatewayLine(*map.parameters);
    if (options.baud || options.parity) {
        const int parity = options.parity.value_or(map.parameters->parity);
        target.line =
            gatewayLine(options.baud.value_or(target.line.line.baudRate),
                        lineParity(parity).value_or(target.line.line.parity), target.line.framing);
    }
    const auto protocol =
        map.protocol ? kSerialProtocolList.meaningOf(*map.protocol) : std::nullopt;
    if (protocol && (protocol->protocol == SerialProtocol::Binary ||
                     protocol->protocol == SerialProtocol::Ascii)) {
        failure(err, "warning: the project's serial protocol is not Modbus (\"Ser_Prot\" " +
                         std::to_string(*map.protocol) + "): the gateway may not answer");
    }
    return target;
}

}  // namespace

MonitorOptions parseMonitorArgs(const std::vector<std::string>& args) {
    const OptionRule rules[] = {
        {"--port", {}, "a device", true},
        {"--tcp",
         {},
         "an address",
         true,
         [](const std::string& value) {
             return tcpTarget(value) ? std::string()
                                     : "'" + value +
                                           "' is not HOST or HOST:PORT with a port "
                                           "from 1 to 65535";
         }},
        numberOption("--baud", 50, 4000000),
        {"--parity",
         {},
         "none, even or odd",
         true,
         [](const std::string& value) {
             return parityCode(value) ? std::string()
                                      : "'" + value + "' is not a parity (none, even or odd)";
         }},
        numberOption("--unit", 1, 255),
        numberOption("--function", 3, 4),
        numberOption("--interval", 10, 3600000),
        numberOption("--timeout", 10, 60000),
        {"--once"},
        {"--json"},
        {"--csv", {}, "a file", true},
        {"--changes"},
    };
    const ParsedArgs given = parseArgs(args, rules);
    MonitorOptions options;
    options.help = given.help;
    options.error = given.error;
    options.once = given.flag("--once");
    options.json = given.flag("--json");
    options.csv = given.value("--csv");
    options.changes = given.flag("--changes");
    options.port = given.value("--port");
    if (!options.error.empty() || options.help) return options;
    if (const auto tcp = given.value("--tcp")) {
        std::tie(options.tcpHost, options.tcpPort) = *tcpTarget(*tcp);
    }
    const auto number = [&](std::string_view name) -> std::optional<int> {
        const auto value = given.value(name);
        return value ? std::optional<int>(std::stoi(*value)) : std::nullopt;
    };
    options.baud = number("--baud");
    options.unit = number("--unit");
    options.function = number("--function").value_or(3);
    options.intervalMs = number("--interval").value_or(500);
    options.timeoutMs = number("--timeout").value_or(1000);
    if (const auto parity = given.value("--parity")) options.parity = parityCode(*parity);

    const std::vector<std::string>& operands = given.operands;
    if (operands.size() > 1) {
        options.error = "unexpected argument '" + operands[1] + "'";
    } else if (operands.empty()) {
        options.error = "missing PROJECT_DIR";
    } else if (options.port.has_value() == options.tcpHost.has_value()) {
        options.error = options.port ? "give --port or --tcp, not both"
                                     : "missing --port DEVICE or --tcp HOST[:PORT]";
    } else if (options.tcpHost && (options.baud || options.parity)) {
        options.error = "--baud and --parity set a serial port: they go with --port";
    } else if (options.changes && !options.csv) {
        options.error = "--changes sets what the log holds: it goes with --csv";
    } else {
        options.project = operands.front();
    }
    return options;
}

int monitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const MonitorOptions options = parseMonitorArgs(args);
    // A JSON consumer gets every failure as one object on standard output, usage errors too.
    const bool json = options.json || std::ranges::find(args, "--json") != args.end();
    const auto tellJson = [&](std::string_view message) {
        if (json) out << "{\"error\": " << jsonString(message) << "}\n";
    };
    const auto fail = [&](std::string_view message) {
        tellJson(message);
        return failure(err, message);
    };
    if (!options.error.empty()) {
        tellJson(options.error);
        return usageError(err, kUsage, options.error, "monitor");
    }
    if (options.help) {
        out << kUsage << "\n" << kHelp;
        return kExitOk;
    }
    if (const auto problem = notAProject(options.project)) return fail(*problem);
    try {
        const DeviceMap map = readDeviceMap(pathFromText(options.project));
        const modbus::PollPlan plan = modbus::planPoll(map.readMap);
        if (plan.registers.empty()) {
            return fail(options.project + ": the read map holds no register to poll");
        }
        if (plan.repeatedIndexes > 0) {
            failure(err, "warning: " + plural(plan.repeatedIndexes, "register") +
                             " of the read map stand more than once; the gateway serves the "
                             "first row of each");
        }
        if (!map.parameters && (!options.unit || options.port)) {
            return fail(options.project +
                        ": the project has no pargen.xml, so the gateway's Modbus ID and serial "
                        "line are unknown");
        }
        const auto unit = static_cast<std::uint8_t>(
            options.unit.value_or(map.parameters ? map.parameters->serialId : 1));
        const LinkTarget target = linkTarget(options, map, err);
        const std::chrono::milliseconds timeout(options.timeoutMs);

        const StopSignals stop;
        GatewayLink link(target, timeout);
        Poller poller(link, plan, unit, static_cast<std::uint8_t>(options.function), timeout);
        poller.setStopHandle(stop.handle());
        const MonitorView view{
            map.nodes,
            poller.plan(),
            target.name(),
            std::string("Modbus ") + std::string(modbus::framingName(target.framing())),
            unit,
            static_cast<std::uint8_t>(options.function)};
        std::optional<PollLog> log;
        if (options.csv) log.emplace(*options.csv, options.changes);

        const bool live = !options.once && &out == &std::cout && ::isatty(STDOUT_FILENO);
        if (!options.once && (live || log)) {
            RunSettings settings;
            settings.interval = std::chrono::milliseconds(options.intervalMs);
            settings.live = live;
            settings.silenceWarning = silenceText(target, unit, timeout);
            return pollUntilStopped(poller, link, view, settings, stop.handle(),
                                    log ? &*log : nullptr, out, err);
        }

        const PollResult poll = poller.poll();
        if (poller.stopped()) {
            out << summaryText(poller.stats());
            return kExitOk;
        }
        if (poll.silent) return fail(silenceText(target, unit, timeout));
        if (log) log->write(view, poll);
        if (json) {
            writePollJson(view, poll, out);
        } else {
            writePollText(view, poll, out);
        }
        return poll.problems.empty() ? kExitOk : kExitFailure;
    } catch (const std::exception& e) {
        return fail(failureText(e));
    }
}

}  // namespace velmora::cli
