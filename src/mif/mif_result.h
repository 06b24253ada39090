// Result and Status: the error-as-value types of the MIF layer.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace gw::mif {

// A failure with a message of the form "what: why", ready to show to a user.
struct Error {
  std::string message;
};

// Either a value or an Error. Callers must look at it: check IsOk() before
// Value(); Value() on a failed result is a programming error (asserted by
// std::get).
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Error error) : state_(std::move(error)) {}  // NOLINT: implicit by design

  bool IsOk() const { return state_.index() == 0; }
  explicit operator bool() const { return IsOk(); }

  T& Value() & { return std::get<0>(state_); }
  const T& Value() const& { return std::get<0>(state_); }
  T&& Value() && { return std::get<0>(std::move(state_)); }

  const Error& GetError() const { return std::get<1>(state_); }
  const std::string& ErrorMessage() const { return std::get<1>(state_).message; }

 private:
  std::variant<T, Error> state_;
};

// Success or an Error, for operations that return nothing else.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : failed_(true), error_(std::move(error)) {}  // NOLINT: implicit by design

  static Status Ok() { return Status(); }

  bool IsOk() const { return !failed_; }
  explicit operator bool() const { return IsOk(); }
  const Error& GetError() const { return error_; }
  const std::string& ErrorMessage() const { return error_.message; }

 private:
  bool failed_ = false;
  Error error_;
};

}  // namespace gw::mif
