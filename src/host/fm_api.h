// The whole boundary between the host application and the plug-in: the host's
// API interface, the notification interfaces the plug-in implements, their
// interface identifiers, the entry point, and every record that crosses.
//
// The plug-in and the substitute host both include this header and share
// nothing else. Records use fixed-width integers so that, where pointers are
// 32 bits wide, their layout is the host's (checked at the end of this file).
// Blocks the host hands to the plug-in come from CoTaskMemAlloc; the plug-in
// copies them and releases them with CoTaskMemFree (unless the host keeps
// ownership, see IHostMemoryMode).
#ifndef GRIDWRIGHT_HOST_FM_API_H
#define GRIDWRIGHT_HOST_FM_API_H

#include <stddef.h>
#include <stdint.h>

#include "platform/com_base.h"

// ---- Scalars ------------------------------------------------------------------

// A host object handle; 0 means none. The top 8 bits give the object's kind.
typedef uint32_t ObjectId;

// A length: signed 16.16 fixed point, 65536 is one point.
typedef int32_t Metric;

// The text offset that means "the end of the object's text".
#define kTextOffsetEnd ((int32_t)0x50000000)

// ---- Records that cross the boundary ----------------------------------------------

// Names a property. The plug-in always passes {code, NULL}; the name is used
// only when the code is 0.
typedef struct PropIdent {
  int32_t code;
  char* name;
} PropIdent;

typedef struct TextLoc {
  ObjectId object;
  int32_t offset;
} TextLoc;

// An insertion point has start equal to end.
typedef struct TextRange {
  TextLoc start;
  TextLoc end;
} TextRange;

typedef struct IntList {
  uint32_t count;
  int32_t* values;
} IntList;

typedef struct StringList {
  uint32_t count;
  char** strings;
} StringList;

// Item of value types 7 and 12.
typedef struct IntPair {
  int32_t first;
  int32_t second;
} IntPair;

typedef struct IntPairList {
  uint32_t count;
  IntPair* items;
} IntPairList;

typedef struct ByteList {
  uint32_t count;
  uint8_t* bytes;
} ByteList;

// Record shapes of value types 8, 17, 18, 21 and 22. Only their layouts are
// fixed; what the fields mean is the host's business.
typedef struct Record8 {
  int32_t first;
  int32_t second;
  char* string;
  int32_t third;
} Record8;

typedef struct Record17 {
  char* string1;
  int32_t value1;
  int32_t value2;
  int32_t value3;
  StringList list1;
  StringList list2;
  char* string2;
  char* string3;
} Record17;

typedef struct Record18 {
  char* string;
  StringList list;
  int16_t value;
  uint8_t padding[2];
} Record18;

typedef struct Record21 {
  char* string;
  StringList list1;
  StringList list2;
  uint16_t value1;
  uint8_t value2;
  uint8_t padding;
} Record21;

typedef struct Record22 {
  int32_t value;
  StringList list;
} Record22;

typedef struct Record8List {
  uint32_t count;
  Record8* items;
} Record8List;

typedef struct Record17List {
  uint32_t count;
  Record17* items;
} Record17List;

typedef struct Record18List {
  uint32_t count;
  Record18* items;
} Record18List;

typedef struct Record21List {
  uint32_t count;
  Record21* items;
} Record21List;

typedef struct Record22List {
  uint32_t count;
  Record22* items;
} Record22List;

// Type codes of a typed value.
enum ValueType {
  kValueInt = 1,
  kValueMetric = 2,
  kValueString = 3,
  kValueId = 4,
  kValueInts = 5,
  kValueStrings = 6,
  kValuePairs = 7,
  kValueRecords8 = 8,
  kValueTextLoc = 9,
  kValueTextRange = 10,
  kValuePairs12 = 12,
  kValueInts13 = 13,
  kValueBytes = 14,
  kValueInts15 = 15,
  kValueRecords17 = 17,
  kValueRecords18 = 18,
  kValueRecord19 = 19,
  kValueList = 20,
  kValueRecords21 = 21,
  kValueRecords22 = 22,
};

// Bytes of a type 19 record that are copied, and the size of the block they
// are copied into.
#define kRecord19CopySize 20
#define kRecord19BlockSize 24

struct TypedValueList;

// A value with its type code. The union is laid out by the type code; every
// pointer in it is a separate block.
typedef struct TypedValue {
  int32_t type;
  union {
    int32_t intValue;           // 1
    Metric metric;              // 2
    char* string;               // 3
    ObjectId id;                // 4
    IntList ints;               // 5, 13, 15
    StringList strings;         // 6
    IntPairList pairs;          // 7, 12
    Record8List records8;       // 8
    TextLoc textLoc;            // 9
    TextRange textRange;        // 10
    ByteList bytes;             // 14
    Record17List records17;     // 17
    Record18List records18;     // 18
    void* record19;             // 19: kRecord19CopySize bytes without pointers
    struct TypedValueList* list;  // 20
    Record21List records21;     // 21
    Record22List records22;     // 22
  } u;
} TypedValue;

typedef struct TypedValueList {
  uint32_t count;
  TypedValue* values;
} TypedValueList;

typedef struct PropEntry {
  PropIdent ident;
  TypedValue value;
} PropEntry;

// An empty list is {0, NULL}.
typedef struct PropertyList {
  uint32_t count;
  PropEntry* entries;
} PropertyList;

// Kind of a text item whose value is a string.
#define kTextItemString 1

typedef struct TextItem {
  int32_t offset;
  int32_t kind;
  union {
    char* string;   // kind 1
    int32_t value;  // every other kind
  } u;
} TextItem;

typedef struct TextItemList {
  uint32_t count;
  TextItem* items;
} TextItemList;

// The answer of GetResource; the block comes from CoTaskMemAlloc and the host
// frees it.
typedef struct ResourceData {
  int32_t size;
  void* data;
} ResourceData;

#ifdef __cplusplus

// ---- Interface identifiers --------------------------------------------------------

// The interfaces the plug-in queries from the host object, in query order.
// Number 3 is the API interface, 13 the memory-mode interface and 14 the
// module interface; the others are only held.
inline constexpr int kHostInterfaceCount = 15;
inline constexpr IID kHostInterfaceIids[kHostInterfaceCount] = {
    {0x9EB9EBDE, 0xEF45, 0x4FAA, {0xBA, 0x83, 0x80, 0xC3, 0x7E, 0x74, 0x6D, 0xD7}},
    {0xF9EDAC1F, 0x75C2, 0x4544, {0xA6, 0x5E, 0x36, 0xE3, 0xC5, 0xA4, 0xDB, 0xA1}},
    {0xCA913130, 0x7B0A, 0x11D0, {0x98, 0x5E, 0x00, 0x60, 0x97, 0x0B, 0xEC, 0x0B}},
    {0x5B0455F0, 0x0DB8, 0x11D1, {0x98, 0x6D, 0x00, 0x60, 0x97, 0x0B, 0xEC, 0x0B}},
    {0xEA34B890, 0x2289, 0x11D3, {0xBC, 0x05, 0x00, 0x80, 0x5F, 0xD9, 0x83, 0x89}},
    {0x895D2502, 0x96ED, 0x43E1, {0xA8, 0x8B, 0x45, 0x78, 0xA1, 0xAA, 0xA2, 0xB5}},
    {0xF8A1A179, 0xB5C9, 0x4AF8, {0x8E, 0x1A, 0xDA, 0x71, 0x43, 0x0E, 0xDB, 0xA1}},
    {0x02AC84A3, 0x499F, 0x4128, {0x93, 0x62, 0x0E, 0x38, 0xBB, 0x16, 0x20, 0xC9}},
    {0xB2159D69, 0xA7F0, 0x4978, {0x84, 0xA3, 0xC2, 0xCA, 0x54, 0x98, 0xF9, 0xFE}},
    {0xA76BE1F8, 0xB073, 0x4F2D, {0x95, 0x53, 0x98, 0x54, 0x38, 0x54, 0xE0, 0xFB}},
    {0x9D1E44A4, 0x9CCC, 0x4AB5, {0xB5, 0x55, 0x6F, 0xFA, 0xE7, 0x78, 0x34, 0x2C}},
    {0xEC7B1498, 0xED2D, 0x4278, {0xAE, 0x91, 0x07, 0x48, 0x1B, 0xCB, 0xBF, 0xD0}},
    {0x04C8B860, 0xBC3B, 0x11D0, {0x8E, 0x04, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    {0xF5AE87C2, 0x3FF6, 0x11D1, {0x94, 0x57, 0x00, 0x80, 0x5F, 0x29, 0x2B, 0x02}},
    {0xE1E9B610, 0x97D0, 0x11D3, {0xBC, 0x10, 0x00, 0x80, 0x5F, 0xD9, 0x83, 0x89}},
};
inline constexpr int kHostApiInterfaceIndex = 2;         // the third query
inline constexpr int kHostMemoryModeInterfaceIndex = 12;  // the thirteenth
inline constexpr int kHostModuleInterfaceIndex = 13;      // the fourteenth
inline constexpr const IID& kIidHostApi = kHostInterfaceIids[kHostApiInterfaceIndex];
inline constexpr const IID& kIidHostMemoryMode = kHostInterfaceIids[kHostMemoryModeInterfaceIndex];
inline constexpr const IID& kIidHostModule = kHostInterfaceIids[kHostModuleInterfaceIndex];

// The interfaces the plug-in's notifications object answers to (with IUnknown).
inline constexpr IID kIidFrameMakerNotifications0 = {
    0xEB813990, 0xB81C, 0x11D0, {0x98, 0x5E, 0x00, 0x60, 0x97, 0x0B, 0xEC, 0x0B}};
inline constexpr IID kIidFrameMakerCMSNotifications0 = {
    0x7AA0C49A, 0x1141, 0x44EF, {0xA7, 0x84, 0x15, 0x55, 0x93, 0xF9, 0x50, 0x25}};

// ---- The host's API interface ---------------------------------------------------------

// Every operation the plug-in asks of the host. Each method takes the
// operation's arguments, then the host status (the plug-in initialises it to
// -1; the host sets 0 on success or its own nonzero failure code) and, where
// the operation has one, the result slot. A negative HRESULT means the call
// itself failed (RPC_E_SERVERCALL_RETRYLATER when the host was busy); the
// status and the result slot are then not read.
//
// Strings and arrays returned in result slots are CoTaskMemAlloc blocks.
// Object ids are those of the host; 0 means none.
struct IFrameMakerApi : public IUnknown {
  // Start-up: the host takes the notifications object (and keeps its own
  // references to it) and the client description.
  virtual HRESULT STDMETHODCALLTYPE AttachClient(IUnknown* notifications, int32_t flags,
                                                 const PropertyList* description, int32_t* status) = 0;

  // Runs the host's built-in commands with the given codes, in order.
  virtual HRESULT STDMETHODCALLTYPE RunCommandCodes(const IntList* codes, int32_t* status) = 0;

  // Asks for (on = 1) or stops (on = 0) a notification; 13 is the client call.
  virtual HRESULT STDMETHODCALLTYPE RequestNotification(int32_t code, int32_t on, int32_t* status) = 0;

  // Menus.
  virtual HRESULT STDMETHODCALLTYPE DefineMenu(const char* name, const char* label, int32_t* status,
                                               ObjectId* menu) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddCommandToMenu(ObjectId menu, ObjectId item, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddMenuToMenu(ObjectId menu, ObjectId submenu, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE DefineAndAddMenu(ObjectId parent, const char* name, const char* label,
                                                     int32_t* status, ObjectId* menu) = 0;

  // The user. Alert kinds: 1 OK/Cancel, 2 note, 3 warning, 4 Yes/No; the
  // answer 0 means OK or Yes. ScrollListPrompt writes the chosen 0-based index
  // into its result slot, or -1 when the user cancelled.
  virtual HRESULT STDMETHODCALLTYPE Alert(const char* message, int32_t kind, int32_t* status,
                                          int32_t* answer) = 0;
  virtual HRESULT STDMETHODCALLTYPE ConsoleWrite(const char* utf8Text, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE ScrollListPrompt(const char* title, const StringList* items,
                                                     int32_t defaultIndex, int32_t* status,
                                                     int32_t* chosen) = 0;

  // Documents. The return list of OpenDocument and SaveDocument is filled by
  // the host with CoTaskMemAlloc blocks (the caller passes a zeroed record).
  virtual HRESULT STDMETHODCALLTYPE OpenDocument(const char* fileName, const PropertyList* params,
                                                 PropertyList* returnList, int32_t* status,
                                                 ObjectId* document) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveDocument(ObjectId document, const char* fileName,
                                                 const PropertyList* params, PropertyList* returnList,
                                                 int32_t* status, ObjectId* saved) = 0;
  virtual HRESULT STDMETHODCALLTYPE NewCustomDocument(Metric pageWidth, Metric pageHeight, int32_t columns,
                                                      Metric columnGap, Metric topMargin, Metric bottomMargin,
                                                      Metric insideMargin, Metric outsideMargin,
                                                      int32_t sidedness, int32_t makeVisible, int32_t* status,
                                                      ObjectId* document) = 0;
  virtual HRESULT STDMETHODCALLTYPE CloseDocument(ObjectId document, int32_t flags, int32_t* status) = 0;

  // Editing.
  virtual HRESULT STDMETHODCALLTYPE Cut(ObjectId document, int32_t flags, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE Paste(ObjectId document, int32_t flags, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE ScrollToText(ObjectId document, const TextRange* range,
                                                 int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE Redisplay(ObjectId document, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteObject(ObjectId document, ObjectId object, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNamedObject(ObjectId document, int32_t objectType, const char* name,
                                                   int32_t* status, ObjectId* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddText(ObjectId document, const TextLoc* location, const char* text,
                                            int32_t* status, TextLoc* end) = 0;

  // Properties. GetProps fills a zeroed record with CoTaskMemAlloc blocks.
  virtual HRESULT STDMETHODCALLTYPE GetProps(ObjectId document, ObjectId object, int32_t* status,
                                             PropertyList* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProps(ObjectId document, ObjectId object, const PropertyList* props,
                                             int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIntProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                               int32_t* status, int32_t* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetIntProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                               int32_t value, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIdProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                              int32_t* status, ObjectId* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetIdProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                              ObjectId value, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMetricProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                                  int32_t* status, Metric* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMetricProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                                  Metric value, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTextLocProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                                   int32_t* status, TextLoc* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTextRangeProp(ObjectId document, ObjectId object,
                                                     const PropIdent* prop, int32_t* status,
                                                     TextRange* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetTextRangeProp(ObjectId document, ObjectId object,
                                                     const PropIdent* prop, const TextRange* value,
                                                     int32_t* status) = 0;
  // The string slot receives a CoTaskMemAlloc block, or NULL for a NULL value.
  virtual HRESULT STDMETHODCALLTYPE GetStringProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                                  int32_t* status, char** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetStringProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                                  const char* value, int32_t* status) = 0;
  // The list's array is a CoTaskMemAlloc block.
  virtual HRESULT STDMETHODCALLTYPE GetIntsProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                                int32_t* status, IntList* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetIntsProp(ObjectId document, ObjectId object, const PropIdent* prop,
                                                const IntList* value, int32_t* status) = 0;

  // The text of a range as items; flags 1 asks for the strings.
  virtual HRESULT STDMETHODCALLTYPE GetText(ObjectId document, const TextRange* range, int32_t flags,
                                            int32_t* status, TextItemList* result) = 0;

  // Tables. AddRows position 1238 adds heading rows. SelectTableCells takes
  // 0-based row and column indices.
  virtual HRESULT STDMETHODCALLTYPE AddRows(ObjectId document, ObjectId referenceRow, int32_t position,
                                            int32_t count, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE SelectTableCells(ObjectId document, ObjectId table, int32_t topRow,
                                                     int32_t bottomRow, int32_t leftColumn,
                                                     int32_t rightColumn, int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE NewTable(ObjectId document, const char* formatName, int32_t columns,
                                             int32_t bodyRows, int32_t headingRows, int32_t footingRows,
                                             const TextLoc* location, int32_t* status, ObjectId* table) = 0;

  // Defines a command with the given number and appends it to the menu; the
  // host later delivers the number in the Command notification.
  virtual HRESULT STDMETHODCALLTYPE DefineAndAddCommand(int32_t commandNumber, ObjectId menu,
                                                        const char* name, const char* label,
                                                        const char* shortcut, int32_t* status,
                                                        ObjectId* command) = 0;
};

// Memory-mode interface: SetResultOwnership(1) answers S_OK when the host
// keeps ownership of every block it returns (the plug-in must then never
// free them).
struct IHostMemoryMode : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetResultOwnership(int32_t mode) = 0;
};

// Module interface: tells the host the plug-in's module handle.
struct IHostModule : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetModule(void* moduleHandle) = 0;
};

// ---- The notification interfaces the plug-in implements ------------------------------

struct IFrameMakerNotifications0 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Initialize(int32_t initializationCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE Quit() = 0;
  virtual HRESULT STDMETHODCALLTYPE Command(int32_t commandNumber) = 0;
  virtual HRESULT STDMETHODCALLTYPE Message(uint32_t a, uint32_t b, uint32_t c) = 0;
  virtual HRESULT STDMETHODCALLTYPE DialogEvent(uint32_t a, uint32_t b, uint32_t c) = 0;
  virtual HRESULT STDMETHODCALLTYPE Notify(int32_t notification, ObjectId document, const char* text,
                                           int32_t value) = 0;
  // Type 0 asks for the library's file name; the answer block is the host's.
  virtual HRESULT STDMETHODCALLTYPE GetResource(int32_t resourceType, const char* resourceName,
                                                ResourceData* answer) = 0;
};

struct IFrameMakerCMSNotifications0 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CMSCommand(uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                                               void* commandRecord) = 0;
};

// ---- The entry point -------------------------------------------------------------------

// The plug-in's only export (on 32-bit Windows decorated as _F_ApiClientInit@16).
// Returns 0 on success, -1 when the host object is NULL or does not yield the
// API interface. description is handed to the host unchanged, or 0 to have
// the plug-in build it from its version resource.
extern "C" typedef int32_t(GW_STDCALL* ClientInitFunction)(void* moduleHandle, IUnknown* hostObject,
                                                            IUnknown* lifetimeObject,
                                                            const PropertyList* description);
// The name the loader finds it by: 32-bit Windows decorates __stdcall names.
#if defined(_WIN32) && !defined(_WIN64)
inline constexpr const char* kClientInitSymbol = "_F_ApiClientInit@16";
#else
inline constexpr const char* kClientInitSymbol = "F_ApiClientInit";
#endif

#endif  // __cplusplus

// ---- Layout checks where pointers are 32 bits wide ---------------------------------

#if UINTPTR_MAX == 0xFFFFFFFFu
#define GW_ASSERT_LAYOUT(cond) static_assert(cond, #cond)
GW_ASSERT_LAYOUT(sizeof(PropIdent) == 8);
GW_ASSERT_LAYOUT(sizeof(TypedValue) == 20 && offsetof(TypedValue, u) == 4);
GW_ASSERT_LAYOUT(offsetof(TypedValue, u.ints.count) == 4 && offsetof(TypedValue, u.ints.values) == 8);
GW_ASSERT_LAYOUT(sizeof(PropEntry) == 28 && offsetof(PropEntry, value) == 8);
GW_ASSERT_LAYOUT(sizeof(PropertyList) == 8);
GW_ASSERT_LAYOUT(sizeof(TextLoc) == 8 && sizeof(TextRange) == 16);
GW_ASSERT_LAYOUT(sizeof(IntList) == 8 && sizeof(StringList) == 8);
GW_ASSERT_LAYOUT(sizeof(TextItem) == 12 && offsetof(TextItem, u) == 8 && sizeof(TextItemList) == 8);
GW_ASSERT_LAYOUT(sizeof(IntPair) == 8 && sizeof(Record8) == 16 && offsetof(Record8, string) == 8);
GW_ASSERT_LAYOUT(sizeof(Record17) == 40 && offsetof(Record17, list1) == 16 && offsetof(Record17, string2) == 32);
GW_ASSERT_LAYOUT(sizeof(Record18) == 16 && offsetof(Record18, value) == 12);
GW_ASSERT_LAYOUT(sizeof(Record21) == 24 && offsetof(Record21, value1) == 20 && offsetof(Record21, value2) == 22);
GW_ASSERT_LAYOUT(sizeof(Record22) == 12);
GW_ASSERT_LAYOUT(sizeof(TypedValueList) == 8);
GW_ASSERT_LAYOUT(sizeof(ResourceData) == 8);
#undef GW_ASSERT_LAYOUT
#endif

#endif  // GRIDWRIGHT_HOST_FM_API_H
