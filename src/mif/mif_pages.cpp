// Pages, their frames and the text flows that run through them.
#include "mif/mif_mapping.h"

#include <algorithm>

namespace gw::mif::mapping {

Status Reader::ReadPage(NodeId page) {
  sub::ObjectKind kind = sub::ObjectKind::kBodyPage;
  if (NodeId type = tree_.FindChild(page, "PageType"); type != kNoNode) {
    Result<std::string> word = tree_.ReadKeyword(type);
    if (!word) return word.GetError();
    bool known = false;
    for (const PageTypeName& entry : kPageTypes) {
      if (word.Value() == entry.name) {
        kind = entry.kind;
        known = true;
      }
    }
    if (!known) return Fail(type, "unknown page type " + word.Value());
  }
  std::string name;
  for (const char* statement : {"PageTag", "PageNum"}) {
    NodeId node = tree_.FindChild(page, statement);
    if (node == kNoNode || !name.empty()) continue;
    Result<std::string> text = StringOf(node);
    if (!text) return text.GetError();
    name = text.Value();
  }
  sub::Page& added = model_.AddPage(kind, name);
  return ReadFrames(page, added.id, 0, kind == sub::ObjectKind::kBodyPage);
}

Status Reader::ReadFrames(NodeId parent, ObjectId page, ObjectId parentFrame, bool bodyPage) {
  for (NodeId node = tree_.FirstChild(parent); node != kNoNode; node = tree_.Next(node)) {
    if (!tree_.IsStatement(node)) continue;
    std::string_view name = tree_.Name(node);
    if (name == "TextRect") {
      NodeId idNode = tree_.FindChild(node, "ID");
      if (idNode == kNoNode) continue;
      Result<int64_t> id = tree_.ReadInt(idNode);
      if (!id) return id.GetError();
      if (rects_.count(id.Value()) != 0)
        return Fail(idNode, "text frame ID " + std::to_string(id.Value()) + " used twice");
      rects_.try_emplace(id.Value(), Rect{page, parentFrame, bodyPage, false});
      rectOrder_.emplace_back(id.Value(), Rect{page, parentFrame, bodyPage, false});
    } else if (name == "Frame") {
      sub::Frame& frame = model_.AddGraphicFrame(page, parentFrame);
      if (Status s = ReadFrames(node, page, frame.id, bodyPage); !s) return s;
    }
  }
  return Status::Ok();
}

ObjectId Reader::FrameFor(ObjectId flow, int64_t rect) {
  auto key = std::make_pair(flow, rect);
  auto found = flowFrames_.find(key);
  if (found != flowFrames_.end()) return found->second;
  ObjectId page = 0, parentFrame = 0;
  auto r = rects_.find(rect);
  if (r != rects_.end()) {
    page = r->second.page;
    parentFrame = r->second.parentFrame;
    r->second.used = true;
    for (auto& [id, ordered] : rectOrder_) {
      if (id == rect) ordered.used = true;
    }
    if (r->second.bodyPage) flowsOnBodyPages_.insert(flow);
  }
  ObjectId frame = model_.AddTextFrame(flow, page, parentFrame).id;
  if (r != rects_.end()) binding_.frameRects[frame] = rect;
  flowFrames_[key] = frame;
  return frame;
}

Status Reader::ReadFlow(NodeId flowNode) {
  std::string tag;
  if (NodeId tagNode = tree_.FindChild(flowNode, "TFTag"); tagNode != kNoNode) {
    Result<std::string> text = StringOf(tagNode);
    if (!text) return text.GetError();
    tag = text.Value();
  }
  bool autoConnect = false;
  if (NodeId connect = tree_.FindChild(flowNode, "TFAutoConnect"); connect != kNoNode) {
    Result<std::string> word = tree_.ReadKeyword(connect);
    autoConnect = word && word.Value() == "Yes";
  }
  sub::Flow& flow = model_.AddFlow(tag);
  const ObjectId flowId = flow.id;
  flowOrder_.push_back({flowId, autoConnect});
  DocumentBinding::FlowEntry& entry = binding_.flows[flowId];
  entry.node = flowNode;
  int64_t currentRect = -1;
  std::string format = "Body";
  for (NodeId para = tree_.FirstChild(flowNode); para != kNoNode; para = tree_.Next(para)) {
    if (!tree_.IsStatement(para) || tree_.Name(para) != "Para") continue;
    ParaText text;
    if (Status s = ReadParaText(para, text); !s) return s;
    Result<std::string> named = ParaFormat(para, format);
    if (!named) return named.GetError();
    format = named.Value();
    int64_t rect = text.firstRect >= 0 ? text.firstRect : currentRect;
    if (text.lastRect >= 0) currentRect = text.lastRect;
    ObjectId frame = FrameFor(flowId, rect);
    sub::Paragraph& paragraph = model_.AppendParagraph(frame, std::move(text.text), format);
    Bind(paragraph.id, para, paragraph, text.firstRect, text.verbatim);
    NotePending(paragraph.id, text);
    binding_.flows[flowId].paragraphs.push_back(paragraph.id);
  }
  return Status::Ok();
}

void Reader::ChooseMainFlow() {
  ObjectId chosen = 0;
  for (const auto& [flow, autoConnect] : flowOrder_) {
    if (autoConnect && flowsOnBodyPages_.count(flow) != 0) {
      chosen = flow;
      break;
    }
  }
  for (const auto& [flow, autoConnect] : flowOrder_) {
    if (chosen == 0 && flowsOnBodyPages_.count(flow) != 0) chosen = flow;
  }
  if (chosen == 0 && !flowOrder_.empty()) chosen = flowOrder_.front().first;
  model_.SetMainFlow(chosen);
}

void Updater::UpdateFlows() {
  for (auto& flowEntry : binding_.flows) {
    // Named, not a structured binding: older clang cannot capture those in a lambda.
    const ObjectId flowId = flowEntry.first;
    auto& entry = flowEntry.second;
    const sub::Flow* flow = model_.FindFlow(flowId);
    if (flow == nullptr) continue;
    std::vector<ObjectId> now;
    std::unordered_map<ObjectId, ObjectId> frameOf;
    for (ObjectId frameId : flow->frames) {
      const sub::Frame* frame = model_.FindFrame(frameId);
      if (frame == nullptr) continue;
      for (ObjectId p : frame->paragraphs) {
        now.push_back(p);
        frameOf[p] = frameId;
      }
    }
    ObjectChange change;
    change.subject = ObjectChange::Subject::kParagraph;
    change.name = flow->tag;
    change.contentChanged = true;
    Record(std::move(change), [&](ObjectChange&) { SyncParagraphs(entry.node, now, entry.paragraphs, &frameOf); });
  }
}

}  // namespace gw::mif::mapping
