// MIF documents and the substitute host's document model: reading a MIF
// document tree into a model Document, writing the model's changes back into
// the same tree, and writing a model Document as a new MIF file.
//
// What the model takes from the file:
// - ColorCatalog, RulingCatalog and PgfCatalog: colours, ruling styles and
//   paragraph formats by name (ColorTag, RulingTag, PgfTag). The host's
//   reserved colours (Black, White, Red, Green, Blue, Cyan, Magenta, Yellow)
//   always exist, as in the host.
// - TblCatalog: table formats by TblTag with the format-level properties below.
// - Document: the display unit (DUnits Upt -> one point, any other unit ->
//   the unit's size; 65536 when absent).
// - Page (PageType BodyPage 5, LeftMasterPage/RightMasterPage/OtherMasterPage
//   6, ReferencePage 7, HiddenPage 8; name from PageTag, else PageNum) with
//   its TextRects (ID) and graphic Frames.
// - TextFlow (TFTag) with its Paras: a paragraph lies in the text frame that
//   its flow has in the TextRect named by the last TextRectID seen in the
//   flow. The main flow is the first autoconnecting flow (TFAutoConnect Yes)
//   on a body page, else the first flow on a body page, else the first flow.
// - Para: PgfTag, and the text of its ParaLines: Strings, and Chars as
//   FrameRoman bytes (Tab 0x09, HardReturn 0x0D, HardSpace 0x11, ...). ATbl
//   anchors a table at the paragraph offset where it stands; tables anchored
//   at one offset keep the order of their ATbl statements.
// - Tbls/Tbl: TblID, TblTag, its own TblFormat (its properties over those of
//   the catalogue format of the same tag, or of the defaults when there is
//   none), TblNumColumns and TblColumnWidth, TblTitle/TblTitleContent
//   paragraphs, TblH, TblBody and TblF rows, Cells with their CellContent
//   paragraphs.
// - Cell-level overrides become the six override flags: CellFill 1190,
//   CellColor 1191 (with CellSeparation), CellTRuling 1192, CellBRuling 1193,
//   CellLRuling 1196, CellRRuling 1197. A flag is 1 when the cell carries the
//   statement. Clearing a flag removes the statement; setting one writes a
//   neutral value (fill 15, colour Black, no ruling).
//
// Table format statements and property codes: TblLIndent 1278, TblRIndent
// 1279, TblSpBefore 1280, TblSpAfter 1281, TblAlignment 1282 (Left, Center,
// Right, Inside, Outside: 0-4), TblPlacement 1283 (Anywhere, ColumnTop,
// PageTop, LPageTop, RPageTop, Float: 0-5), TblNumByColumn 1288, TblTitlePlacement
// 1289 (None, InHeader, InFooter: 0-2), TblTitleGap 1290, TblBlockSize 1291,
// TblXColumnNum 1293, TblRulingPeriod 1294, TblLastBRuling 1295, TblHFFill
// 1296, TblHFColor 1297, TblBodyFill 1298, TblBodyColor 1299,
// TblShadeByColumn 1300, TblShadePeriod 1301, TblXFill 1302,
// TblAltShadePeriod 1303, TblXColor 1304, TblTRuling 1305, TblBRuling 1306,
// TblLRuling 1307, TblRRuling 1308, TblColumnRuling 1309, TblBodyRowRuling
// 1310, TblSeparatorRuling 1311, TblHFRowRuling 1312, TblXRowRuling 1313,
// TblXColumnRuling 1314, TblCellMargins (left, top, right, bottom) 1317, 1315,
// 1318, 1316 (and 583, 581, 584, 582), TblTitlePgf1's PgfTag 20.
//
// Writing back changes only the statements of what the model changed, and
// records each one (change_record.h); statements the model does not know stay
// in place, byte for byte. What is written back: table formats (added,
// renamed, changed per statement, deleted), tables (added, deleted, tag,
// properties, column widths, title, rows added and removed, cell overrides
// and contents) and paragraphs of text flows, cells and titles (added,
// deleted, format, text and anchors). A table's own TblFormat gets a
// statement only where the file would otherwise give the table another value
// (so a table keeps what it took from a format that changed or went); its
// TblTag is written only when the tag changed. The title format is written
// where the file names it (TblTitlePgf1's PgfTag, else the PgfTag of a Pgf in
// it). A paragraph whose anchors alone changed gains or loses ATbl
// statements; only one whose text changed gets new ParaLines (what else its
// old lines held goes with them). A row that a paste filled from a row of
// the file is written as a copy of that row's statement, with every cell,
// paragraph and inline statement. Colours and rulings that properties name
// are added to the catalogues; paragraph formats, pages and frames are
// written only in new documents.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mif/change_record.h"
#include "mif/mif_result.h"
#include "mif/mif_tree.h"
#include "substitute/document_model.h"

namespace gw::mif {

// Where the objects of one model document came from in its MIF tree, and the
// values they had when last read or written. Owns the tree.
class DocumentBinding;
struct DocumentBindingDeleter {
  void operator()(DocumentBinding* binding) const;
};
using DocumentBindingPtr = std::unique_ptr<DocumentBinding, DocumentBindingDeleter>;

// A model document read from MIF and its binding. The binding stays valid for
// as long as the caller keeps it; it refers to model objects by id only.
struct BoundDocument {
  std::unique_ptr<substitute::Document> document;
  DocumentBindingPtr binding;
};

// Builds a model document from a parsed MIF document. hostFileName becomes the
// document's file name (property 20). Fails, naming the file, line and
// statement, for a book file and for values of the wrong kind in statements
// the model reads (a TblTag that is not a string, a TblID used twice, ...).
[[nodiscard]] Result<BoundDocument> ReadDocument(Document tree, std::string hostFileName);

// Writes the model's changes since the last read or update into the binding's
// tree and makes the current model state the binding's new baseline. The
// document must be the one the binding was read into (same Id()). Returns the
// record of everything written: no statement changes that it does not name.
[[nodiscard]] Result<ChangeRecord> UpdateTree(DocumentBinding& binding, const substitute::Document& document);

// The record UpdateTree would return, without changing the binding.
[[nodiscard]] Result<ChangeRecord> PreviewUpdate(const DocumentBinding& binding, const substitute::Document& document);

// An independent copy of a binding and its tree.
[[nodiscard]] DocumentBindingPtr CopyBinding(const DocumentBinding& binding);

// UpdateTree on a binding in place, undone unless kept: a save whose write
// fails leaves the binding's baseline as the file on disk still has it. The
// tree keeps only what the update touched to undo it; the binding's tables
// are copied whole (they are small beside the tree).
class UpdateTrial {
 public:
  explicit UpdateTrial(DocumentBinding& binding);
  UpdateTrial(const UpdateTrial&) = delete;
  UpdateTrial& operator=(const UpdateTrial&) = delete;
  ~UpdateTrial();  // undoes the update unless kept

  [[nodiscard]] Result<ChangeRecord> Run(const substitute::Document& document);
  void Keep();

 private:
  struct SavedTables;
  DocumentBinding& binding_;
  std::unique_ptr<SavedTables> saved_;
};

// The binding's tree as MIF text (unchanged parts byte for byte).
[[nodiscard]] std::string WriteBoundDocument(const DocumentBinding& binding);

// The model document's id that the binding belongs to.
[[nodiscard]] ::ObjectId BoundDocumentId(const DocumentBinding& binding);

// The lines of the statements objects of the document were read from: a table
// format's TblFormat in the catalogue, a Tbl, a Row or a Cell; nullopt for an
// object the file does not hold (made after reading). One pass over the file.
[[nodiscard]] std::vector<std::optional<std::uint32_t>> SourceLinesOf(const DocumentBinding& binding,
                                                                       const std::vector<::ObjectId>& objects);

// A complete MIF 7.00 document for a model document that was not read from a
// file: the catalogues, one page per model page with a text rectangle per text
// frame, a text flow per model flow with its paragraphs, and the tables in Tbls
// with ATbl anchors.
[[nodiscard]] std::string WriteNewDocument(const substitute::Document& document);

}  // namespace gw::mif
