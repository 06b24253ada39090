// The numbers the plug-in passes through the host operations: property
// codes, object-type codes, alert kinds, and the flags and codes of the few
// host commands it runs. Document-level properties are addressed with
// document 0 and the document as the object; application properties with 0
// and 0 (see host/host_ops.h).
#ifndef GRIDWRIGHT_HOST_PROPERTY_CODES_H
#define GRIDWRIGHT_HOST_PROPERTY_CODES_H

#include <stdint.h>

// ---- Application (0, 0) --------------------------------------------------------------------

inline constexpr int32_t kPropActiveDocument = 51;
inline constexpr int32_t kPropActiveBook = 52;
inline constexpr int32_t kPropFirstOpenDocument = 53;
inline constexpr int32_t kPropHomeDirectory = 89;
inline constexpr int32_t kPropScreenUpdating = 92;

// ---- Documents and books ---------------------------------------------------------------------

inline constexpr int32_t kPropFileName = 20;        // documents, books, book components
inline constexpr int32_t kPropStatusLine = 108;     // books
inline constexpr int32_t kPropSelection = 109;      // text range
inline constexpr int32_t kPropNextOpenDocument = 111;  // addressed (document, document)
inline constexpr int32_t kPropFirstTable = 120;
inline constexpr int32_t kPropFirstTableFormat = 125;
inline constexpr int32_t kPropSelectedTable = 129;
inline constexpr int32_t kPropBulkEdit = 155;       // addressed (document, document)
inline constexpr int32_t kPropDisplayUnit = 396;    // addressed (document, document)
inline constexpr int32_t kPropMainFlow = 422;
inline constexpr int32_t kPropFirstComponent = 491;  // books

// ---- Book components (book, component) ---------------------------------------------------------

inline constexpr int32_t kPropNextComponent = 527;
inline constexpr int32_t kPropFirstChild = 2324;
inline constexpr int32_t kPropParentComponent = 2325;
inline constexpr int32_t kPropComponentKind = 2329;
inline constexpr int32_t kComponentGroup = 2;
inline constexpr int32_t kComponentFolder = 64;
inline constexpr int32_t kComponentDocument = 512;

// ---- Menus (0, menu or item) ---------------------------------------------------------------------

inline constexpr int32_t kPropMenuItemLabel = 30;
inline constexpr int32_t kPropNextMenuItem = 1923;
inline constexpr int32_t kPropFirstMenuItem = 1927;

// ---- Flows, frames and paragraphs ------------------------------------------------------------------

inline constexpr int32_t kPropFormatLocked = 588;
inline constexpr int32_t kPropParentFrame = 774;
inline constexpr int32_t kPropFramePage = 880;
inline constexpr int32_t kPropLastParagraph = 973;
inline constexpr int32_t kPropParagraphFrame = 1001;
inline constexpr int32_t kPropLastTextFrame = 1170;

// ---- Tables, rows and cells -------------------------------------------------------------------------

inline constexpr int32_t kPropName = 20;            // table formats (title paragraph format), rulings, colours
inline constexpr int32_t kPropAnchor = 879;
inline constexpr int32_t kPropFirstParagraph = 972;  // cells; of a table: its title
inline constexpr int32_t kPropNextCell = 1202;
inline constexpr int32_t kPropColumnIndex = 1205;
inline constexpr int32_t kPropNextRow = 1245;
inline constexpr int32_t kPropFirstCell = 1247;
inline constexpr int32_t kPropRowKind = 1253;
inline constexpr int32_t kRowKindHeading = 0;
inline constexpr int32_t kPropTag = 1275;           // a table's tag, a format's name
inline constexpr int32_t kPropNextTableFormat = 1276;
inline constexpr int32_t kPropTitlePosition = 1289;
inline constexpr int32_t kPropColumnCount = 1335;
inline constexpr int32_t kPropNextTable = 1337;
inline constexpr int32_t kPropFirstRow = 1338;
inline constexpr int32_t kPropColumnWidths = 1345;

// ---- Object types of HostGetNamedObject ------------------------------------------------------------

inline constexpr int32_t kObjectTypeParagraphFormat = 32;
inline constexpr int32_t kObjectTypeTableFormat = 37;
inline constexpr int32_t kObjectTypeMenu = 55;
inline constexpr int32_t kObjectTypeMenuItem = 57;

// ---- Alerts, notifications and host commands ---------------------------------------------------------

inline constexpr int32_t kAlertConfirm = 1;  // OK/Cancel; 0 is OK
inline constexpr int32_t kAlertNote = 2;
inline constexpr int32_t kAlertWarning = 3;
inline constexpr int32_t kAlertYesNo = 4;    // 0 is Yes
inline constexpr int32_t kNotificationClientCall = 13;
inline constexpr int32_t kCloseWithoutAsking = 1;
inline constexpr int32_t kCutTableRows = 2;
inline constexpr int32_t kPasteOverRows = 32;
inline constexpr int32_t kCommandCodeShowSelection = 259;

#endif  // GRIDWRIGHT_HOST_PROPERTY_CODES_H
