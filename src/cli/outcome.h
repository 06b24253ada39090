// Exit codes of the command line and the error-as-value type of its library:
// every failure carries the exit code it maps to and a message for the user.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace gw::cli {

// What a run of the command line ended with. The numbers are the process's
// exit status and are documented for scripts; they never change meaning.
enum class ExitCode : int {
  kDone = 0,        // the job ran to its end
  kDeclined = 1,    // a question was declined, or left unanswered
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

// A value or a Failure. Check IsOk() before Value().
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}            // NOLINT: implicit by design
  Result(Failure failure) : state_(std::move(failure)) {}  // NOLINT: implicit by design

  [[nodiscard]] bool IsOk() const { return state_.index() == 0; }
  [[nodiscard]] T& Value() { return std::get<0>(state_); }
  [[nodiscard]] const T& Value() const { return std::get<0>(state_); }
  [[nodiscard]] const Failure& GetFailure() const { return std::get<1>(state_); }

 private:
  std::variant<T, Failure> state_;
};

// Success, or a Failure.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Failure failure) : failed_(true), failure_(std::move(failure)) {}  // NOLINT: implicit by design
  [[nodiscard]] bool IsOk() const { return !failed_; }
  [[nodiscard]] const Failure& GetFailure() const { return failure_; }

 private:
  bool failed_ = false;
  Failure failure_;
};

}  // namespace gw::cli
