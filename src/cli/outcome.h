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

// Whether a changing command's document is saved, decided from facts: the
// change record of its file (does saving write anything?), whether this is
// a dry run, and the exit code the command's run earned so far.
struct SaveFacts {
  bool changed = false;
  bool dryRun = false;
  ExitCode run = ExitCode::kDone;
};
enum class SaveDecision {
  kNothing,   // nothing to write
  kDescribe,  // a dry run: say what would change
  kSave,      // write the changes
  kRefuse,    // the command failed: a half-changed document is not saved
};
[[nodiscard]] SaveDecision DecideSave(const SaveFacts& facts);

// What a command left behind, gathered by the session from the host's
// records (failed operations, alerts, console lines, fatal stops) and the
// store's (loads and saves). The outcome is decided from these alone.
struct CommandFacts {
  bool fileUnreadable = false;   // a file did not load: malformed or refused input
  bool stopped = false;          // the plug-in ended in its fatal stop
  size_t failedHostCalls = 0;    // host operations that failed, expected misses not counted
  size_t problemLines = 0;       // the plug-in's console lines about its own work
  size_t unopenedFiles = 0;      // its "Could not open file:" lines (book documents that did not open)
  bool warning = false;          // an alert of kind 3: the command stopped
  bool saveFailed = false;       // a save was refused or failed
  bool declined = false;         // a question was declined or left unanswered
};

// The save decision and the exit code of a command.
struct Outcome {
  ExitCode code = ExitCode::kDone;
  // Whether the documents the command changed may be written: only when it
  // ran to its end with nothing failing. A declined question still saves
  // what was done before it.
  bool save = true;
};

[[nodiscard]] Outcome Decide(const CommandFacts& facts);

// Whether a save that the plug-in asks for in the middle of a command (a book
// walk saves each document as it goes) may be written, given the facts so far:
// no host operation failed, the plug-in reported no problem with its work and
// did not stop. A book document that did not open, or another document's
// failed save, does not hold back the rest.
[[nodiscard]] bool MayWriteDuringCommand(const CommandFacts& facts);

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
