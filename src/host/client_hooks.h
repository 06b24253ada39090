// The three entry points of the command layer that the notifications object
// calls. The command layer defines them; the host interface only declares
// them, so that the layers depend one way.
#ifndef GRIDWRIGHT_HOST_CLIENT_HOOKS_H
#define GRIDWRIGHT_HOST_CLIENT_HOOKS_H

#include "host/fm_api.h"

// Notify code 75 carries a string of fields separated by the byte 0x1E; the
// handler receives them split into this record instead of the string.
typedef struct NotifyFields {
  char* slots[6];
  StringList more;  // fields after the sixth, in order
} NotifyFields;

// Initialize: menus are built when the code is 1; notification 13 is
// requested in every case.
void CommandLayerInitialize(int32_t initializationCode);

// Command: runs the dispatcher for the command number.
void CommandLayerCommand(int32_t commandNumber);

// Notify: only code 13 (the client call) is acted on. For code 75 text is
// NULL and fields holds the split record; otherwise fields is NULL.
void CommandLayerNotify(int32_t notification, ObjectId document, const char* text, const NotifyFields* fields,
                        int32_t value);

#endif  // GRIDWRIGHT_HOST_CLIENT_HOOKS_H
