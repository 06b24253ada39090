// The gridwright program: the arguments go to the command-line library, the
// exit code comes back from it.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/job.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  gw::cli::Io io{std::cout, std::cerr, std::cin, isatty(STDIN_FILENO) != 0, isatty(STDERR_FILENO) != 0};
  gw::cli::ExitCode code = gw::cli::RunCommandLine(arguments, io);
  std::cout.flush();
  return static_cast<int>(code);
}
