// The host operations: one plain function per method of the host's API
// interface, each turning the call's outcome into a return value and the
// module-wide last error, and copying whatever the host returns into memory
// the caller owns (strings and int-list arrays are freed with MemFree;
// property lists and text-item lists with FreePropertyList and
// FreeTextItemList of host/property_lists.h).
//
// Calling pattern of every operation: with no API interface held the last
// error becomes -1 and the failure value is returned; a failed COM call sets
// -88 (host busy, RPC_E_SERVERCALL_RETRYLATER) or -1 and returns the failure
// value; a nonzero host status becomes the last error and the failure value is
// returned. Failure values: 0 for ids, ints and metrics, NULL for strings,
// {0, NULL} for lists, {0, 0} for text locations, a zero-filled record for
// text ranges, the host status for status results. Nothing is ever retried.
// A copy that cannot be allocated is a failure too (last error -1); the
// host's block is released all the same.
#ifndef GRIDWRIGHT_HOST_HOST_OPS_H
#define GRIDWRIGHT_HOST_HOST_OPS_H

#include "host/fm_api.h"

// ---- Connection state ---------------------------------------------------------------

// The last error: written only when an operation fails, never reset.
int32_t HostLastError(void);

// How many operations have failed since the library was loaded. Unlike the
// last error, which may hold the same value before and after a call, a change
// of this count tells a caller for certain that its call failed.
uint32_t HostFailureCount(void);

// The API interface the operations call, or NULL (no connection). Set by the
// client entry at start-up and cleared at shutdown; tests may set it directly.
IFrameMakerApi* HostApi(void);
void HostSetApi(IFrameMakerApi* api);

// When set, blocks the host returns are never released by the plug-in.
int32_t HostOwnsResults(void);
void HostSetOwnsResults(int32_t owns);

// Empties the module return lists of HostOpenDocument and HostSaveDocument
// (shutdown does this; pointers to them stay valid and see empty lists).
void HostFreeReturnLists(void);

// ---- Start-up, notifications and host commands ---------------------------------------

void HostAttachClient(IUnknown* notifications, int32_t flags, const PropertyList* description);
int32_t HostRunCommandCodes(uint32_t count, const int32_t* codes);
int32_t HostRequestNotification(int32_t code, int32_t on);

// ---- Menus ---------------------------------------------------------------------------

ObjectId HostDefineMenu(const char* name, const char* label);
int32_t HostAddCommandToMenu(ObjectId menu, ObjectId item);
int32_t HostAddMenuToMenu(ObjectId menu, ObjectId submenu);
ObjectId HostDefineAndAddMenu(ObjectId parent, const char* name, const char* label);
ObjectId HostDefineAndAddCommand(int32_t commandNumber, ObjectId menu, const char* name, const char* label,
                                 const char* shortcut);

// ---- The user ------------------------------------------------------------------------

// Kinds: 1 OK/Cancel, 2 note, 3 warning, 4 Yes/No. Returns the host's answer
// (0 = OK or Yes), 0 when the call fails.
int32_t HostAlert(const char* message, int32_t kind);
int32_t HostConsoleWrite(const char* utf8Text);
// Returns 0 and writes the chosen 0-based index into *chosen when the user
// chose an item; -1 on cancel or any failure (*chosen untouched).
int32_t HostScrollListPrompt(int32_t* chosen, const char* title, const StringList* items, int32_t defaultIndex);

// ---- Documents -----------------------------------------------------------------------

// returnList: NULL, or the address of a pointer that is set to the module's
// return list of the operation. Whenever the host answered (also with a
// failure status), the list the pointer pointed to is emptied first and the
// module list is refilled with a copy of the host's return list; the module
// list stays owned here (empty it with FreePropertyList when done). When only
// that copy fails, the document id still comes back, the module list is empty
// and the last error is -1.
ObjectId HostOpenDocument(const char* fileName, const PropertyList* params, PropertyList** returnList);
ObjectId HostSaveDocument(ObjectId document, const char* fileName, const PropertyList* params,
                          PropertyList** returnList);
ObjectId HostNewCustomDocument(Metric pageWidth, Metric pageHeight, int32_t columns, Metric columnGap,
                               Metric topMargin, Metric bottomMargin, Metric insideMargin, Metric outsideMargin,
                               int32_t sidedness, int32_t makeVisible);
int32_t HostCloseDocument(ObjectId document, int32_t flags);
// Opens a file with the fixed parameter list {29: 1}; flag is always 0.
ObjectId HostOpenFile(const char* fileName, int32_t flag);
// Saves under fileName (converted to UTF-8 unless the host encoding is
// UTF-8) with an empty parameter list; flag is always 0.
ObjectId HostSaveFile(ObjectId document, const char* fileName, int32_t flag);

// ---- Editing -------------------------------------------------------------------------

int32_t HostCut(ObjectId document, int32_t flags);
int32_t HostPaste(ObjectId document, int32_t flags);
int32_t HostScrollToText(ObjectId document, const TextRange* range);
int32_t HostRedisplay(ObjectId document);
int32_t HostDeleteObject(ObjectId document, ObjectId object);
// Object types: 32 paragraph format, 37 table format, 55 menu, 57 menu item.
ObjectId HostGetNamedObject(ObjectId document, int32_t objectType, const char* name);
// Returns the location just past the inserted text.
TextLoc HostAddText(ObjectId document, const TextLoc* location, const char* text);
// Always flags 1; the caller frees the list with FreeTextItemList.
TextItemList HostGetText(ObjectId document, const TextRange* range, int32_t flags);

// ---- Properties ----------------------------------------------------------------------

// Document-level properties: document 0 and the document as the object;
// application properties: 0 and 0.
PropertyList HostGetProps(ObjectId document, ObjectId object);
void HostSetProps(ObjectId document, ObjectId object, const PropertyList* props);
int32_t HostGetIntProp(ObjectId document, ObjectId object, int32_t code);
int32_t HostSetIntProp(ObjectId document, ObjectId object, int32_t code, int32_t value);
ObjectId HostGetIdProp(ObjectId document, ObjectId object, int32_t code);
void HostSetIdProp(ObjectId document, ObjectId object, int32_t code, ObjectId value);
Metric HostGetMetricProp(ObjectId document, ObjectId object, int32_t code);
void HostSetMetricProp(ObjectId document, ObjectId object, int32_t code, Metric value);
TextLoc HostGetTextLocProp(ObjectId document, ObjectId object, int32_t code);
// Fills *range (zero-filled on failure) and returns range.
TextRange* HostGetTextRangeProp(TextRange* range, ObjectId document, ObjectId object, int32_t code);
void HostSetTextRangeProp(ObjectId document, ObjectId object, int32_t code, const TextRange* range);
char* HostGetStringProp(ObjectId document, ObjectId object, int32_t code);
int32_t HostSetStringProp(ObjectId document, ObjectId object, int32_t code, const char* value);
IntList HostGetIntsProp(ObjectId document, ObjectId object, int32_t code);
void HostSetIntsProp(ObjectId document, ObjectId object, int32_t code, const IntList* value);

// ---- Tables --------------------------------------------------------------------------

// Position 1238 adds the rows as heading rows.
int32_t HostAddRows(ObjectId document, ObjectId referenceRow, int32_t position, int32_t count);
int32_t HostSelectTableCells(ObjectId document, ObjectId table, int32_t topRow, int32_t bottomRow,
                             int32_t leftColumn, int32_t rightColumn);
ObjectId HostNewTable(ObjectId document, const char* formatName, int32_t columns, int32_t bodyRows,
                      int32_t headingRows, int32_t footingRows, const TextLoc* location);

#endif  // GRIDWRIGHT_HOST_HOST_OPS_H
