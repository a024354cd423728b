#pragma once
// The command line's options parsed from a list of arguments, as the program would.
#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "cli_options.h"

namespace bootshell::cli {

// Parses Args (without the program name); false when CLI11 refuses them.
inline bool Parse(const std::vector<std::string>& Args, CliOptions& Options) {
  CLI::App app;
  DeclareOptions(app, Options);
  std::vector<const char*> argv{"bootshell-cli"};
  for (const auto& a : Args) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), const_cast<char**>(argv.data()));
    return true;
  } catch (const CLI::ParseError&) {
    return false;
  }
}

}  // namespace bootshell::cli
