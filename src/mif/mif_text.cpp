// Text: paragraphs, their characters and the anchors of tables in them.
#include "mif/mif_mapping.h"

#include <algorithm>
#include <limits>
#include "mif/mif_string.h"

namespace gw::mif::mapping {

Status Reader::ReadParaText(NodeId para, ParaText& out) {
  const auto noteRect = [&](NodeId node) -> Status {
    Result<int64_t> id = tree_.ReadInt(node);
    if (!id) return id.GetError();
    if (out.firstRect < 0) out.firstRect = id.Value();
    out.lastRect = id.Value();
    return Status::Ok();
  };
  for (NodeId child = tree_.FirstChild(para); child != kNoNode; child = tree_.Next(child)) {
    if (!tree_.IsStatement(child)) continue;
    std::string_view name = tree_.Name(child);
    if (name == "TextRectID") {
      if (Status s = noteRect(child); !s) return s;
      continue;
    }
    if (name != "ParaLine") continue;
    for (NodeId item = tree_.FirstChild(child); item != kNoNode; item = tree_.Next(item)) {
      if (!tree_.IsStatement(item)) continue;
      std::string_view itemName = tree_.Name(item);
      if (itemName == "String") {
        Result<NodeId> value = tree_.SingleValue(item);
        if (!value) return value.GetError();
        if (tree_.KindOf(value.Value()) != NodeKind::String) return Fail(item, "expected a string");
        const std::string_view raw = tree_.RawText(value.Value());
        const std::size_t before = out.text.size();
        AppendDecoded(out.text, raw, tree_.Version());
        // Verbatim only while the text is this one string, byte for byte.
        const std::string_view added = std::string_view(out.text).substr(before);
        out.verbatim = before == 0 && tree_.InSource(raw) && raw.size() == added.size() + 2 && raw.substr(1, added.size()) == added
                           ? raw.substr(1, added.size())
                           : std::string_view();
      } else if (itemName == "Char") {
        Result<std::string> word = tree_.ReadKeyword(item);
        if (!word) return word.GetError();
        for (const SpecialChar& special : kSpecialChars) {
          if (word.Value() == special.name) {
            out.text.push_back(special.byte);
            out.verbatim = {};
            break;
          }
        }
      } else if (itemName == "ATbl") {
        Result<int64_t> id = tree_.ReadInt(item);
        if (!id) return id.GetError();
        out.anchors.emplace_back(static_cast<int32_t>(out.text.size()), id.Value());
      } else if (itemName == "TextRectID") {
        if (Status s = noteRect(item); !s) return s;
      }
    }
  }
  return Status::Ok();
}

Result<std::string> Reader::ParaFormat(NodeId para, const std::string& inherited) {
  NodeId tag = tree_.FindChild(para, "PgfTag");
  if (tag == kNoNode) {
    if (NodeId pgf = tree_.FindChild(para, "Pgf"); pgf != kNoNode) tag = tree_.FindChild(pgf, "PgfTag");
  }
  if (tag == kNoNode) return inherited;
  return StringOf(tag);
}

void Reader::Bind(ObjectId paragraph, NodeId node, const sub::Paragraph& p, int64_t textRect,
                  std::string_view verbatim) {
  DocumentBinding::ParagraphEntry& entry = binding_.paragraphs[paragraph];
  entry.node = node;
  entry.text = KeptText(p.text, verbatim);
  entry.format = p.formatName;
  entry.textRect = textRect;
}

void Reader::NotePending(ObjectId paragraph, const ParaText& text) {
  for (const auto& [offset, tblId] : text.anchors) pending_.push_back({paragraph, offset, tblId});
}

void Reader::ResolveAnchors() {
  std::unordered_set<ObjectId> anchored;
  uint32_t sequence = 0;
  for (const PendingAnchor& anchor : pending_) {
    auto table = tablesById_.find(anchor.tblId);
    if (table == tablesById_.end() || !anchored.insert(table->second).second) continue;
    sub::Table* made = model_.FindTable(table->second);
    made->anchor = TextLoc{anchor.paragraph, anchor.offset};
    // Tables anchored at one place stand in the order of their anchors.
    made->anchorSequence = sequence++;
  }
  model_.InvalidateTableOrder();
  // The anchors in file order are the anchors in text order.
  for (const PendingAnchor& anchor : pending_) {
    auto table = tablesById_.find(anchor.tblId);
    if (table == tablesById_.end()) continue;
    const sub::Table* made = model_.FindTable(table->second);
    if (made->anchor.object != anchor.paragraph || made->anchor.offset != anchor.offset) continue;
    auto entry = binding_.paragraphs.find(anchor.paragraph);
    if (entry != binding_.paragraphs.end()) entry->second.anchors.emplace_back(anchor.offset, table->second);
  }
}

void Updater::BindParagraphs(const std::vector<ObjectId>& paragraphs, NodeId container) {
  std::vector<NodeId> nodes = container != kNoNode ? tree_.FindChildren(container, "Para") : std::vector<NodeId>{};
  for (size_t i = 0; i < paragraphs.size(); ++i) {
    const sub::Paragraph* p = model_.FindParagraph(paragraphs[i]);
    if (p == nullptr) continue;
    DocumentBinding::ParagraphEntry& entry = binding_.paragraphs[paragraphs[i]];
    entry.node = i < nodes.size() ? nodes[i] : kNoNode;
    entry.text = p->text;
    entry.format = p->formatName;
    entry.anchors = AnchorsOf(paragraphs[i]);
    entry.textRect = -1;
  }
}

const Anchors& Updater::AnchorsOf(ObjectId paragraph) const {
  static const Anchors kNone;
  auto found = anchors_.find(paragraph);
  return found != anchors_.end() ? found->second : kNone;
}

bool Updater::ParagraphsChanged(const std::vector<ObjectId>& now, const std::vector<ObjectId>& baseline) const {
  if (now != baseline) return true;
  return std::any_of(now.begin(), now.end(), [&](ObjectId p) { return ParagraphChanged(p); });
}

bool Updater::ParagraphChanged(ObjectId id) const {
  const sub::Paragraph* p = model_.FindParagraph(id);
  auto entry = binding_.paragraphs.find(id);
  if (p == nullptr || entry == binding_.paragraphs.end()) return true;
  return entry->second.text != p->text || entry->second.format != p->formatName ||
         entry->second.anchors != AnchorsOf(id);
}

void Updater::SyncParagraphs(NodeId container, const std::vector<ObjectId>& now, std::vector<ObjectId>& baseline,
                    const std::unordered_map<ObjectId, ObjectId>* frameOf) {
  if (container == kNoNode) return;
  std::unordered_set<ObjectId> present(now.begin(), now.end());
  for (ObjectId p : baseline) {
    if (present.count(p) != 0) continue;
    auto entry = binding_.paragraphs.find(p);
    if (entry == binding_.paragraphs.end()) continue;
    editor_.Remove(entry->second.node);
    binding_.paragraphs.erase(entry);
  }
  NodeId previous = kNoNode;
  ObjectId previousFrame = 0;
  for (ObjectId id : now) {
    const sub::Paragraph* p = model_.FindParagraph(id);
    if (p == nullptr) continue;
    ObjectId frame = 0;
    if (frameOf != nullptr) {
      auto found = frameOf->find(id);
      if (found != frameOf->end()) frame = found->second;
    }
    auto entry = binding_.paragraphs.find(id);
    if (entry != binding_.paragraphs.end() && entry->second.node != kNoNode) {
      if (ParagraphChanged(id)) RewriteParagraph(*p, entry->second);
      previous = entry->second.node;
      previousFrame = frame;
      continue;
    }
    // A paragraph the file never had a statement for stays unwritten until it changes.
    if (entry != binding_.paragraphs.end() && !ParagraphChanged(id)) continue;
    NodeId node;
    if (previous != kNoNode) {
      node = editor_.After(previous, "Para");
    } else {
      NodeId first = tree_.FindChild(container, "Para");
      node = first != kNoNode ? editor_.Before(first, "Para") : editor_.Append(container, "Para");
    }
    if (node == kNoNode) return;
    int64_t rect = -1;
    if (frameOf != nullptr && (previous == kNoNode || frame != previousFrame)) {
      auto r = binding_.frameRects.find(frame);
      if (r != binding_.frameRects.end()) rect = r->second;
    }
    WriteParagraph(editor_, node, *p, AnchorsOf(id), rect, tblIds_);
    DocumentBinding::ParagraphEntry& bound = binding_.paragraphs[id];
    bound = {node, KeptText(p->text), p->formatName, AnchorsOf(id), rect};
    previous = node;
    previousFrame = frame;
  }
  baseline = now;
}

void Updater::RewriteParagraph(const sub::Paragraph& p, DocumentBinding::ParagraphEntry& entry) {
  const NodeId para = entry.node;
  if (entry.format != p.formatName) {
    NodeId tag = tree_.FindChild(para, "PgfTag");
    if (tag == kNoNode) {
      NodeId first = tree_.FirstChild(para);
      tag = first != kNoNode ? editor_.Before(first, "PgfTag") : editor_.Append(para, "PgfTag");
    }
    editor_.SetString(tag, p.formatName);
    // A Pgf override naming the old format would win over PgfTag.
    if (NodeId pgf = tree_.FindChild(para, "Pgf"); pgf != kNoNode) {
      if (NodeId inner = tree_.FindChild(pgf, "PgfTag"); inner != kNoNode) editor_.SetString(inner, p.formatName);
    }
  }
  const Anchors& anchors = AnchorsOf(p.id);
  if (entry.text == p.text && entry.anchors != anchors) {
    // Only tables came or went: their ATbl statements alone change, and
    // everything else in the lines (fonts, markers, variables) stays.
    MoveAnchors(para, entry.anchors, anchors);
  } else if (entry.text != p.text) {
    // The first line keeps the text frame it names; other line content
    // (markers, variables) goes with the old text.
    int64_t rect = -1;
    std::vector<NodeId> lines = tree_.FindChildren(para, "ParaLine");
    for (NodeId line : lines) {
      NodeId id = tree_.FindChild(line, "TextRectID");
      if (id != kNoNode && rect < 0) {
        Result<int64_t> number = tree_.ReadInt(id);
        if (number) rect = number.Value();
      }
    }
    NodeId line = !lines.empty() ? editor_.Before(lines.front(), "ParaLine") : editor_.Append(para, "ParaLine");
    for (NodeId old : lines) editor_.Remove(old);
    if (line != kNoNode) {
      if (rect >= 0) editor_.AppendInt(line, "TextRectID", rect);
      WriteLineContent(editor_, line, p.text, anchors, tblIds_);
    }
  }
  entry.text = p.text;
  entry.format = p.formatName;
  entry.anchors = anchors;
}

std::vector<Updater::LineItem> Updater::LineItems(NodeId para) const {
  std::vector<LineItem> items;
  size_t offset = 0;
  for (NodeId line : tree_.FindChildren(para, "ParaLine")) {
    for (NodeId item = tree_.FirstChild(line); item != kNoNode; item = tree_.Next(item)) {
      if (!tree_.IsStatement(item)) continue;
      std::string_view name = tree_.Name(item);
      LineItem entry{item, line, offset, name == "ATbl", 0};
      if (entry.anchor) {
        Result<int64_t> id = tree_.ReadInt(item);
        entry.tblId = id ? id.Value() : -1;
      } else if (name == "String") {
        Result<NodeId> value = tree_.SingleValue(item);
        std::string text;
        if (value) AppendDecoded(text, tree_.RawText(value.Value()), tree_.Version());
        offset += text.size();
      } else if (name == "Char") {
        Result<std::string> word = tree_.ReadKeyword(item);
        for (const SpecialChar& special : kSpecialChars) {
          if (word && word.Value() == special.name) ++offset;
        }
      }
      items.push_back(entry);
    }
  }
  return items;
}

void Updater::MoveAnchors(NodeId para, const Anchors& before, const Anchors& after) {
  const auto has = [](const Anchors& list, ObjectId table) {
    return std::any_of(list.begin(), list.end(), [&](const auto& a) { return a.second == table; });
  };
  std::vector<LineItem> items = LineItems(para);
  for (const auto& [offset, table] : before) {
    if (has(after, table)) continue;
    auto id = binding_.tables.find(table);
    const int64_t tblId = id != binding_.tables.end() ? id->second.tblId : tblIds_[table];
    for (const LineItem& item : items) {
      if (item.anchor && item.tblId == tblId && !tree_.IsRemoved(item.node)) {
        editor_.Remove(item.node);
        break;
      }
    }
  }
  for (const auto& [offset, table] : after) {
    if (has(before, table)) continue;
    items = LineItems(para);
    const size_t at = static_cast<size_t>(std::max(offset, 0));
    NodeId node = kNoNode;
    for (const LineItem& item : items) {
      if (item.offset > at || (item.offset == at && !item.anchor)) {
        node = editor_.Before(item.node, "ATbl");
        break;
      }
    }
    if (node == kNoNode) {
      std::vector<NodeId> lines = tree_.FindChildren(para, "ParaLine");
      NodeId line = !lines.empty() ? lines.back() : editor_.Append(para, "ParaLine");
      if (line != kNoNode) node = editor_.Append(line, "ATbl");
    }
    if (node != kNoNode) (void)tree_.AppendInt(node, tblIds_[table]);
  }
}

const char* SpecialCharName(char byte) {
  if (static_cast<unsigned char>(byte) >= 0x20) return nullptr;
  for (const SpecialChar& special : kSpecialChars) {
    if (special.byte == byte) return special.name;
  }
  return nullptr;
}

// Appends what DecodeString makes of a raw string, copying it straight when it
// has no escapes (and, in UTF-8 files, only ASCII): most strings of a file.
void AppendDecoded(std::string& out, std::string_view raw, double version) {
  if (std::optional<std::string_view> plain = PlainString(raw, version)) {
    out.append(*plain);
  } else {
    out += DecodeString(raw, version);
  }
}

// The anchors of every table, by paragraph, in offset order.
std::unordered_map<ObjectId, Anchors> AnchorsByParagraph(const Model& model,
                                                         const std::vector<ObjectId>& tablesInOrder) {
  std::unordered_map<ObjectId, Anchors> anchors;
  for (ObjectId table : tablesInOrder) {
    const sub::Table* t = model.FindTable(table);
    if (t != nullptr && t->anchor.object != 0) anchors[t->anchor.object].emplace_back(t->anchor.offset, table);
  }
  for (auto& [paragraph, list] : anchors) {
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  return anchors;
}

// Writes text as String and Char statements, and the anchors as ATbl
// statements at their offsets, into a ParaLine.
void WriteLineContent(TreeEditor& editor, NodeId line, std::string_view text, const Anchors& anchors,
                      const std::unordered_map<ObjectId, int64_t>& tblIds) {
  size_t anchor = 0;
  std::string run;
  const auto flush = [&] {
    if (!run.empty()) editor.AppendString(line, "String", run);
    run.clear();
  };
  const auto anchorsAt = [&](size_t offset) {
    while (anchor < anchors.size() && static_cast<size_t>(std::max(anchors[anchor].first, 0)) <= offset) {
      auto id = tblIds.find(anchors[anchor].second);
      if (id != tblIds.end()) {
        flush();
        editor.AppendInt(line, "ATbl", id->second);
      }
      ++anchor;
    }
  };
  for (size_t i = 0; i < text.size(); ++i) {
    anchorsAt(i);
    if (const char* name = SpecialCharName(text[i])) {
      flush();
      editor.AppendKeyword(line, "Char", name);
    } else {
      run.push_back(text[i]);
    }
  }
  anchorsAt(std::numeric_limits<size_t>::max());  // anchors past the text end stand at its end
  flush();
}

// Fills a new Para statement.
void WriteParagraph(TreeEditor& editor, NodeId para, const sub::Paragraph& paragraph, const Anchors& anchors,
                    int64_t textRect, const std::unordered_map<ObjectId, int64_t>& tblIds) {
  editor.AppendString(para, "PgfTag", paragraph.formatName);
  NodeId line = editor.Append(para, "ParaLine");
  if (line == kNoNode) return;
  if (textRect >= 0) editor.AppendInt(line, "TextRectID", textRect);
  WriteLineContent(editor, line, paragraph.text, anchors, tblIds);
}

}  // namespace gw::mif::mapping
