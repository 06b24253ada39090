// The recording command layer of the host-layer tests.
#include "command_layer_stub.h"

#include "host/client_hooks.h"
#include "support/memory.h"

namespace stub {

Calls& Recorded() {
  static Calls calls;
  return calls;
}

void Reset() { Recorded() = Calls{}; }

}  // namespace stub

void CommandLayerInitialize(int32_t initializationCode) { stub::Recorded().initialize.push_back(initializationCode); }

void CommandLayerCommand(int32_t commandNumber) {
  stub::Recorded().commands.push_back(commandNumber);
  if (commandNumber == stub::kFatalCommand) FatalError();
}

void CommandLayerNotify(int32_t notification, ObjectId document, const char* text, const NotifyFields* fields,
                        int32_t value) {
  stub::NotifyCall call;
  call.notification = notification;
  call.document = document;
  call.textWasNull = text == nullptr;
  call.text = text != nullptr ? text : "";
  call.hadFields = fields != nullptr;
  if (fields != nullptr) {
    for (const char* slot : fields->slots) call.slots.push_back(slot != nullptr ? slot : "<null>");
    for (uint32_t i = 0; i < fields->more.count; ++i) call.more.push_back(fields->more.strings[i]);
  }
  call.value = value;
  stub::Recorded().notifies.push_back(call);
  if (value == stub::kFatalNotifyValue) FatalError();
}
