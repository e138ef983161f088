// povupdate: every capability of the library from a shell.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "commands.h"
#include "shared/output.h"

namespace {

// Only running out of memory or a failing output stream gets that far.
constexpr int kUnexpectedFailure = 70;

#ifndef _WIN32
// A descriptor 0, 1 or 2 closed at start would be the number of the first
// file the program opens, and output meant for the terminal would land in
// it. Each is opened instead: standard output on /dev/full, so that writing
// to it fails as writing to a closed one does, the others on /dev/null.
void OpenClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const char* const device = fd == STDOUT_FILENO ? "/dev/full" : "/dev/null";
    // The lowest free number, which is fd's once those below it are open.
    const int opened = open(device, (fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}
#endif

// Help and the version go to standard output; a usage error is a failure,
// with a hint. It repeats what was given, which ReportError shows escaped.
int ReportParseResult(const CLI::App& app, const CLI::ParseError& error) {
  if (error.get_exit_code() == 0) return app.exit(error);
  const int status = povupdate_cli::ReportError(error.get_exit_code(), error.what());
  povupdate_cli::PrintMessage("Run with --help for more information.");
  return status;
}

// Whether everything written to standard output reached it.
bool OutputWritten() {
  std::cout.flush();
  return std::cout.good() && std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  OpenClosedStandardDescriptors();
#endif
  int status = 0;
  try {
    CLI::App app{"The update list, installed versions and install directory of PovUpdate hosts",
                 "povupdate"};
    app.set_version_flag("--version", "povupdate " POVUPDATE_VERSION);
    // A path may begin with '/' on Windows too: only "--" starts an option.
    app.allow_windows_style_options(false);
    const povupdate_cli::Commands commands(app);
    try {
      app.parse(argc, argv);
      povupdate_cli::ReportFailuresAsJson(commands.json());
      status = commands.Run();
    } catch (const CLI::ParseError& error) {
      povupdate_cli::ReportFailuresAsJson(commands.json());
      status = ReportParseResult(app, error);
    }
  } catch (const std::exception& error) {
    return povupdate_cli::ReportError(kUnexpectedFailure, error.what());
  }
  if (!OutputWritten()) {
    // Standard output is what failed: the message can only go to standard error.
    povupdate_cli::PrintMessage("povupdate: standard output can't be written");
    return kUnexpectedFailure;
  }
  return status;
}
