// A stand-in for the command layer's three entry points that records every
// call, so that the host-layer tests can see what the notifications object
// handed on.
#ifndef GRIDWRIGHT_TESTS_HOST_COMMAND_LAYER_STUB_H
#define GRIDWRIGHT_TESTS_HOST_COMMAND_LAYER_STUB_H

#include <cstdint>
#include <string>
#include <vector>

namespace stub {

struct NotifyCall {
  int32_t notification;
  uint32_t document;
  bool textWasNull;
  std::string text;
  bool hadFields;
  std::vector<std::string> slots;  // the six slots; "<null>" for an empty one
  std::vector<std::string> more;
  int32_t value;
};

struct Calls {
  std::vector<int32_t> initialize;
  std::vector<int32_t> commands;
  std::vector<NotifyCall> notifies;
};

Calls& Recorded();
void Reset();

// Command numbers and notification values at which the stub raises the
// support library's fatal stop, as a command running out of memory would.
constexpr int32_t kFatalCommand = 999;
constexpr int32_t kFatalNotifyValue = 999;

}  // namespace stub

#endif  // GRIDWRIGHT_TESTS_HOST_COMMAND_LAYER_STUB_H
