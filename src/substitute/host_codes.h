// The numbers the substitute host shares with the plug-in: object kinds (the
// top 8 bits of every object id), object-type codes of named lookups, property
// codes, host status codes and the few operation codes (row positions, flags).
#ifndef GRIDWRIGHT_SUBSTITUTE_HOST_CODES_H
#define GRIDWRIGHT_SUBSTITUTE_HOST_CODES_H

#include <cstdint>

#include "host/fm_api.h"

namespace gw::substitute {

// ---- Object kinds: an id is (kind << 24) | serial ------------------------------------

enum class ObjectKind : uint8_t {
  kNone = 0,
  kDocument = 1,
  kBook = 2,
  kBookComponent = 3,
  kBodyPage = 5,
  kMasterPage = 6,
  kReferencePage = 7,  // tables on these pages are left alone by heading fixes
  kHiddenPage = 8,
  kFlow = 0x10,
  kTextFrame = 0x11,
  kParagraph = 0x12,
  kParagraphFormat = 0x13,
  kTableFormat = 0x14,
  kTable = 0x15,
  kRow = 0x16,
  kCell = 0x17,
  kMenu = 0x18,
  kMenuCommand = 0x19,
  kMenuItem = 0x1A,  // the host's separators
  kColour = 0x1B,
  kRuling = 0x1C,
  kGraphicFrame = 0x1D,  // an unanchored frame that holds further frames
};

[[nodiscard]] constexpr ObjectKind KindOf(ObjectId id) { return static_cast<ObjectKind>(id >> 24); }
[[nodiscard]] constexpr ObjectId MakeObjectId(ObjectKind kind, uint32_t serial) {
  return (static_cast<uint32_t>(kind) << 24) | (serial & 0x00FFFFFFu);
}
[[nodiscard]] constexpr bool IsPageKind(ObjectKind kind) {
  return kind == ObjectKind::kBodyPage || kind == ObjectKind::kMasterPage ||
         kind == ObjectKind::kReferencePage || kind == ObjectKind::kHiddenPage;
}

// ---- Object-type codes of GetNamedObject -----------------------------------------------

inline constexpr int32_t kNamedParagraphFormat = 32;
inline constexpr int32_t kNamedTableFormat = 37;
inline constexpr int32_t kNamedMenu = 55;
inline constexpr int32_t kNamedMenuItem = 57;

// ---- Property codes ---------------------------------------------------------------------

// Application (addressed 0, 0).
inline constexpr int32_t kPropActiveDocument = 51;
inline constexpr int32_t kPropActiveBook = 52;
inline constexpr int32_t kPropFirstOpenDocument = 53;
inline constexpr int32_t kPropHomeDirectory = 89;
inline constexpr int32_t kPropScreenUpdating = 92;

// Documents and books (0, doc) unless noted.
inline constexpr int32_t kPropFileName = 20;  // also a format's title paragraph format, an object's name
inline constexpr int32_t kPropNextOpenDocument = 111;  // (doc, doc)
inline constexpr int32_t kPropSelection = 109;
inline constexpr int32_t kPropFirstTable = 120;
inline constexpr int32_t kPropFirstTableFormat = 125;
inline constexpr int32_t kPropSelectedTable = 129;
inline constexpr int32_t kPropBulkEdit = 155;      // (doc, doc)
inline constexpr int32_t kPropDisplayUnit = 396;   // (doc, doc)
inline constexpr int32_t kPropMainFlow = 422;
inline constexpr int32_t kPropFirstComponent = 491;
inline constexpr int32_t kPropStatusLine = 108;

// Book components (book, component).
inline constexpr int32_t kPropComponentKind = 2329;
inline constexpr int32_t kPropFirstChild = 2324;
inline constexpr int32_t kPropNextComponent = 527;
inline constexpr int32_t kPropParentComponent = 2325;
inline constexpr int32_t kComponentDocument = 512;
inline constexpr int32_t kComponentGroup = 2;
inline constexpr int32_t kComponentFolder = 64;

// Menus (0, menu or item); 1923 is set addressed (parent menu, item).
inline constexpr int32_t kPropFirstMenuItem = 1927;
inline constexpr int32_t kPropNextMenuItem = 1923;
inline constexpr int32_t kPropLabel = 30;

// Flows, frames and paragraphs (doc, object).
inline constexpr int32_t kPropLastTextFrame = 1170;
inline constexpr int32_t kPropLastParagraph = 973;
inline constexpr int32_t kPropParagraphFrame = 1001;
inline constexpr int32_t kPropParentFrame = 774;
inline constexpr int32_t kPropFramePage = 880;
inline constexpr int32_t kPropFormatLocked = 588;

// Tables, rows and cells (doc, object).
inline constexpr int32_t kPropNextTable = 1337;
inline constexpr int32_t kPropAnchor = 879;
inline constexpr int32_t kPropFirstParagraph = 972;
inline constexpr int32_t kPropColumnCount = 1335;
inline constexpr int32_t kPropFirstRow = 1338;
inline constexpr int32_t kPropColumnWidths = 1345;
inline constexpr int32_t kPropNextRow = 1245;
inline constexpr int32_t kPropRowKind = 1253;
inline constexpr int32_t kPropFirstCell = 1247;
inline constexpr int32_t kPropNextCell = 1202;
inline constexpr int32_t kPropColumnIndex = 1205;
inline constexpr int32_t kCellOverrideFlags[6] = {1190, 1191, 1192, 1193, 1196, 1197};

// Table formats and tables.
inline constexpr int32_t kPropTag = 1275;
inline constexpr int32_t kPropNextTableFormat = 1276;
inline constexpr int32_t kPropTitlePosition = 1289;

// Row kinds (1253).
inline constexpr int32_t kRowHeading = 0;
inline constexpr int32_t kRowBody = 1;
inline constexpr int32_t kRowFooting = 2;

// AddRows positions: 1238 adds heading rows at the top of the heading section.
inline constexpr int32_t kAddRowsAbove = 1236;    // above the reference row, of its kind
inline constexpr int32_t kAddRowsBelow = 1237;    // below the reference row, of its kind
inline constexpr int32_t kAddRowsHeading = 1238;  // heading rows at the top of the table
inline constexpr int32_t kAddRowsFooting = 1239;  // footing rows at the end of the table

// Flags of the editing operations.
inline constexpr int32_t kCloseDiscard = 1;      // CloseDocument: close without asking
inline constexpr int32_t kCutTableCells = 2;     // Cut: whole rows of a cell selection
inline constexpr int32_t kPasteReplaceCells = 32;  // Paste: over the selected rows
inline constexpr int32_t kGetTextStrings = 1;    // GetText: string items

// Text item kinds besides kTextItemString (1).
inline constexpr int32_t kTextItemParagraphEnd = 2;
inline constexpr int32_t kTextItemTableAnchor = 3;

// ---- Host status codes (nonzero: the host refused the call) -----------------------------

inline constexpr int32_t kStatusBadDocument = -2;    // no such open document
inline constexpr int32_t kStatusBadObject = -3;      // no such object (or wrong kind for the call)
inline constexpr int32_t kStatusBadProperty = -4;    // the object has no such property
inline constexpr int32_t kStatusWrongKind = -5;      // the property has another value kind
inline constexpr int32_t kStatusBadValue = -6;       // a value the property does not take
inline constexpr int32_t kStatusReadOnly = -7;       // the property cannot be set
inline constexpr int32_t kStatusFileNotFound = -8;   // open: the store has no such file
inline constexpr int32_t kStatusFileUnreadable = -9; // open: the file did not load
inline constexpr int32_t kStatusSaveFailed = -10;    // save: the store refused
inline constexpr int32_t kStatusBadParameter = -11;  // an argument out of range
inline constexpr int32_t kStatusNoSelection = -12;   // cut/paste without a fitting selection
inline constexpr int32_t kStatusNameInUse = -13;     // a name the host already has
inline constexpr int32_t kStatusNoMemory = -14;      // CoTaskMemAlloc failed
inline constexpr int32_t kStatusInjected = -15;      // the default status of injected failures

}  // namespace gw::substitute

#endif  // GRIDWRIGHT_SUBSTITUTE_HOST_CODES_H
