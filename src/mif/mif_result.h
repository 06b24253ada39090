// Result and Status: the error-as-value types of the MIF layer, and of the
// layers above it, which bring their own error record (the command line's
// carries an exit code).
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace gw::mif {

// A failure with a message of the form "what: why", ready to show to a user.
struct Error {
  std::string message;
};

// Either a value or an error E (a record with a `message`). Callers must look
// at it: check IsOk() before Value(); Value() on a failed result is a
// programming error (asserted by std::get).
template <typename T, typename E = Error>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}  // NOLINT: implicit by design
  Result(E error) : state_(std::move(error)) {}  // NOLINT: implicit by design

  bool IsOk() const { return state_.index() == 0; }
  explicit operator bool() const { return IsOk(); }

  T& Value() & { return std::get<0>(state_); }
  const T& Value() const& { return std::get<0>(state_); }
  T&& Value() && { return std::get<0>(std::move(state_)); }

  const E& GetError() const { return std::get<1>(state_); }
  const std::string& ErrorMessage() const { return std::get<1>(state_).message; }

 private:
  std::variant<T, E> state_;
};

// Success or an error E, for operations that return nothing else.
template <typename E>
class [[nodiscard]] BasicStatus {
 public:
  BasicStatus() = default;
  BasicStatus(E error) : failed_(true), error_(std::move(error)) {}  // NOLINT: implicit by design

  static BasicStatus Ok() { return BasicStatus(); }

  bool IsOk() const { return !failed_; }
  explicit operator bool() const { return IsOk(); }
  const E& GetError() const { return error_; }
  const std::string& ErrorMessage() const { return error_.message; }

 private:
  bool failed_ = false;
  E error_;
};

using Status = BasicStatus<Error>;

}  // namespace gw::mif
