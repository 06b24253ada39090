// Running one job of the command line: a verb on a document or book, a
// script, or help. Everything the `gridwright` program does goes through
// RunJob, so that tests drive exactly what users run.
#pragma once

#include "cli/options.h"
#include "cli/outcome.h"
#include "cli/session.h"

namespace gw::cli {

// Runs the job and returns its exit code. Reports, notes and summaries go to
// io.out; console lines, messages and progress to io.err.
[[nodiscard]] ExitCode RunJob(const JobRequest& request, Io& io);

// The session configuration of a request: the defaults (beside the program,
// or the environment) with the request's --plugin and --icu-data.
[[nodiscard]] SessionConfig ConfigFor(const JobRequest& request, const Io& io);

// Parses the arguments and runs the job; bad usage is reported on io.err.
[[nodiscard]] ExitCode RunCommandLine(const std::vector<std::string>& arguments, Io& io);

}  // namespace gw::cli
