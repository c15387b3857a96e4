#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace velmora::cli {

// Exit statuses of velmora-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Runs velmora-cli with `args` (the program name excluded), reading standard input from `in`
// (opened in binary mode), printing results to `out` and diagnostics to `err`; returns the exit
// status.
int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err);

// The same with std::cin as standard input.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velmora::cli
