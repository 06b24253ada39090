// Exit codes of the command line and the error-as-value type of its library:
// every failure carries the exit code it maps to and a message for the user.
#pragma once

#include <string>
#include <utility>
#include <variant>

#include "mif/mif_result.h"

namespace gw::cli {

// What a run of the command line ended with. The numbers are the process's
// exit status and are documented for scripts; they never change meaning.
enum class ExitCode : int {
  kDone = 0,        // the job ran to its end
  kDeclined = 1,    // a question was declined, or left unanswered
  kFindings = 1,    // check: findings of a kind that fails the run
  kUsage = 2,       // the command line or script was wrong
  kUnreadable = 3,  // an input file could not be read ("file:line: what")
  kFailed = 4,      // the command stopped, or the host reported a failure
};

// The more serious of two codes: unreadable input, then failure, then bad
// usage, then a declined question, then success.
[[nodiscard]] ExitCode Worse(ExitCode a, ExitCode b);

// A failure: the exit code it maps to and a "what: why" message.
struct Failure {
  ExitCode code = ExitCode::kFailed;
  std::string message;
};

// A value or a Failure; success or a Failure. Check IsOk() before Value().
template <typename T>
using Result = mif::Result<T, Failure>;
using Status = mif::BasicStatus<Failure>;

}  // namespace gw::cli
