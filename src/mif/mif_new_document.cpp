// A complete MIF document for a model document that was not read from a file.
#include "mif/mif_mapping.h"

#include <functional>
#include "mif/mif_reader.h"
#include "mif/mif_writer.h"

namespace gw::mif::mapping {

std::string NewDocumentText(const Model& model) {
  Result<Document> parsed = Parse("<MIFFile 7.00> # Written by Gridwright\n", "new.mif");
  if (!parsed) return {};
  Document& tree = parsed.Value();
  TreeEditor editor(tree);
  const NodeId root = tree.Root();
  editor.AppendKeyword(root, "Units", "Upt");

  // Colours and rulings: the reserved colours, the standard rulings, and every
  // name a table or format property uses.
  std::vector<std::string> colours(std::begin(kReservedColours), std::end(kReservedColours));
  std::vector<std::string> rulings;
  for (const char* ruling : kStandardRulings) {
    if (model.RulingId(ruling) != 0) rulings.emplace_back(ruling);
  }
  const auto collect = [&](const sub::PropertyBag& bag) {
    for (const FormatStatement& statement : kFormatStatements) {
      if (statement.shape != Shape::kRuling && statement.shape != Shape::kColour) continue;
      auto it = bag.find(statement.code);
      if (it == bag.end()) continue;
      std::string name = NameOf(model, it->second);
      std::vector<std::string>& list = statement.shape == Shape::kRuling ? rulings : colours;
      if (!name.empty() && std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
    }
  };
  for (ObjectId id : model.TableFormatOrder()) {
    if (const sub::TableFormat* format = FormatOf(model, id)) collect(format->properties);
  }
  const std::vector<ObjectId> tables = model.TablesInOrder();
  for (ObjectId id : tables) collect(model.FindTable(id)->properties);

  NodeId colourCatalog = editor.Append(root, "ColorCatalog");
  for (const std::string& name : colours) editor.AppendString(editor.Append(colourCatalog, "Color"), "ColorTag", name);

  NodeId pgfCatalog = editor.Append(root, "PgfCatalog");
  for (ObjectId id : model.ParagraphFormatOrder()) {
    const sub::ParagraphFormat* format = ParagraphFormatOf(model, id);
    if (format == nullptr) continue;
    NodeId pgf = editor.Append(pgfCatalog, "Pgf");
    editor.AppendString(pgf, "PgfTag", format->name);
    for (const PgfStatement& statement : kPgfStatements) {
      for (const sub::ListEntry& entry : format->properties) {
        if (entry.code != statement.code) continue;
        if (!statement.keyword) {
          editor.AppendPoints(pgf, statement.name, ToPoints(entry.value.number));
        } else if (statement.code == 1408) {
          editor.AppendKeyword(pgf, statement.name, KeywordWord(kPgfAlignments, entry.value.number));
        } else {
          editor.AppendKeyword(pgf, statement.name, entry.value.number == 1 ? "Yes" : "No");
        }
      }
    }
    NodeId font = editor.Append(pgf, "PgfFont");
    for (const sub::ListEntry& entry : format->properties) {
      if (entry.code == kParaFontFamily) editor.AppendString(font, "FFamily", entry.value.text);
      if (entry.code == kParaFontSize) editor.AppendPoints(font, "FSize", ToPoints(entry.value.number));
    }
  }

  NodeId rulingCatalog = editor.Append(root, "RulingCatalog");
  for (const std::string& name : rulings)
    editor.AppendString(editor.Append(rulingCatalog, "Ruling"), "RulingTag", name);

  NodeId tblCatalog = editor.Append(root, "TblCatalog");
  for (ObjectId id : model.TableFormatOrder()) {
    const sub::TableFormat* format = FormatOf(model, id);
    if (format == nullptr) continue;
    NodeId node = editor.Append(tblCatalog, "TblFormat");
    editor.AppendString(node, "TblTag", format->name);
    WriteFormatProperties(editor, node, format->properties, model, nullptr, Unit::Point);
  }

  // The display unit is written only when it is not the point.
  for (const DisplayUnit& unit : kDisplayUnits) {
    if (model.displayUnit != kPoint && ToMetric(unit.points) == model.displayUnit) {
      editor.AppendKeyword(editor.Append(root, "Document"), "DUnits", unit.word);
    }
  }

  std::unordered_map<ObjectId, Anchors> anchors = AnchorsByParagraph(model, tables);
  std::unordered_map<ObjectId, int64_t> tblIds;
  int64_t nextId = 1;
  for (ObjectId id : tables) tblIds[id] = nextId++;
  if (!tables.empty()) {
    NodeId tbls = editor.Append(root, "Tbls");
    for (ObjectId id : tables)
      WriteTable(editor, editor.Append(tbls, "Tbl"), model, *model.FindTable(id), tblIds[id], anchors, tblIds);
  }

  // Pages with one TextRect per text frame; graphic frames hold theirs.
  std::unordered_map<ObjectId, int64_t> rectIds;
  int64_t nextRect = 1000;
  std::function<void(NodeId, const std::vector<ObjectId>&)> writeFrames = [&](NodeId parent,
                                                                              const std::vector<ObjectId>& frames) {
    for (ObjectId f : frames) {
      const sub::Frame* frame = model.FindFrame(f);
      if (frame == nullptr) continue;
      if (sub::KindOf(f) == sub::ObjectKind::kTextFrame) {
        rectIds[f] = nextRect;
        editor.AppendInt(editor.Append(parent, "TextRect"), "ID", nextRect++);
      } else {
        NodeId node = editor.Append(parent, "Frame");
        editor.AppendInt(node, "ID", nextRect++);
        writeFrames(node, frame->frames);
      }
    }
  };
  for (ObjectId pageId : model.PageOrder()) {
    const sub::Page* page = const_cast<Model&>(model).FindPage(pageId);
    if (page == nullptr) continue;
    NodeId node = editor.Append(root, "Page");
    const char* type = "BodyPage";
    switch (sub::KindOf(pageId)) {
      case sub::ObjectKind::kMasterPage:
        type = "RightMasterPage";
        break;
      case sub::ObjectKind::kReferencePage:
        type = "ReferencePage";
        break;
      case sub::ObjectKind::kHiddenPage:
        type = "HiddenPage";
        break;
      default:
        break;
    }
    editor.AppendKeyword(node, "PageType", type);
    if (!page->name.empty()) {
      editor.AppendString(node, sub::KindOf(pageId) == sub::ObjectKind::kBodyPage ? "PageNum" : "PageTag", page->name);
    }
    writeFrames(node, page->frames);
  }

  static const Anchors kNone;
  for (ObjectId flowId : model.FlowOrder()) {
    const sub::Flow* flow = model.FindFlow(flowId);
    if (flow == nullptr) continue;
    NodeId node = editor.Append(root, "TextFlow");
    editor.AppendString(node, "TFTag", flow->tag);
    if (flowId == model.MainFlow()) editor.AppendKeyword(node, "TFAutoConnect", "Yes");
    for (ObjectId frameId : flow->frames) {
      const sub::Frame* frame = model.FindFrame(frameId);
      if (frame == nullptr) continue;
      auto rect = rectIds.find(frameId);
      bool firstInFrame = true;
      for (ObjectId p : frame->paragraphs) {
        const sub::Paragraph* paragraph = model.FindParagraph(p);
        if (paragraph == nullptr) continue;
        auto found = anchors.find(p);
        WriteParagraph(editor, editor.Append(node, "Para"), *paragraph, found != anchors.end() ? found->second : kNone,
                       firstInFrame && rect != rectIds.end() ? rect->second : -1, tblIds);
        firstInFrame = false;
      }
    }
  }
  if (editor.Failed()) return {};
  std::string text = Write(tree);
  text += "# End of MIFFile\n";
  return text;
}

}  // namespace gw::mif::mapping
