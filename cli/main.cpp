// povupdate: every capability of the library from a shell.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "commands.h"

namespace {

// Only running out of memory or a failing output stream gets that far.
constexpr int kUnexpectedFailure = 70;

}  // namespace

int main(int argc, char** argv) {
  try {
    CLI::App app{"The update list, installed versions and install directory of PovUpdate hosts",
                 "povupdate"};
    app.set_version_flag("--version", "povupdate " POVUPDATE_VERSION);
    // A path may begin with '/' on Windows too: only "--" starts an option.
    app.allow_windows_style_options(false);
    const povupdate_cli::Commands commands(app);
    CLI11_PARSE(app, argc, argv);
    return commands.Run();
  } catch (const std::exception& error) {
    std::cerr << "povupdate: " << error.what() << '\n';
    return kUnexpectedFailure;
  }
}
