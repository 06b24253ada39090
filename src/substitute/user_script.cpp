// The scripted user: answers alerts and scroll-list prompts from a queue of
// expectations and keeps a transcript of everything shown.
#include "substitute/substitute_host.h"

namespace gw::substitute {

namespace {

const char* KindName(InteractionKind kind) { return kind == InteractionKind::kAlert ? "alert" : "prompt"; }

constexpr int32_t kAlertNote = 2;
constexpr int32_t kAnswerNo = 1;

}  // namespace

UserScript& UserScript::ExpectAlert(std::optional<std::string> text, int32_t answer) {
  queue_.push_back({InteractionKind::kAlert, std::nullopt, std::move(text), answer});
  return *this;
}

UserScript& UserScript::ExpectAlertOfKind(int32_t alertKind, std::optional<std::string> text, int32_t answer) {
  queue_.push_back({InteractionKind::kAlert, alertKind, std::move(text), answer});
  return *this;
}

UserScript& UserScript::ExpectPrompt(std::optional<std::string> title, int32_t chosen) {
  queue_.push_back({InteractionKind::kPrompt, std::nullopt, std::move(title), chosen});
  return *this;
}

int32_t UserScript::AnswerAlert(std::string text, int32_t alertKind) {
  Interaction seen;
  seen.kind = InteractionKind::kAlert;
  seen.text = std::move(text);
  seen.alertKind = alertKind;
  if (!queue_.empty()) {
    const Expectation& next = queue_.front();
    bool matches = next.kind == InteractionKind::kAlert && (!next.text || *next.text == seen.text) &&
                   (!next.alertKind || *next.alertKind == alertKind);
    if (matches) {
      seen.answer = next.answer;
      queue_.pop_front();
      transcript_.push_back(seen);
      return seen.answer;
    }
  }
  if (responder_) {
    if (std::optional<int32_t> answer = responder_(seen)) {
      seen.answer = *answer;
      transcript_.push_back(seen);
      return seen.answer;
    }
  }
  seen.expected = acceptNotes_ && alertKind == kAlertNote;
  seen.answer = seen.expected ? 0 : kAnswerNo;
  transcript_.push_back(seen);
  return seen.answer;
}

int32_t UserScript::AnswerPrompt(std::string title, std::vector<std::string> items, int32_t defaultIndex) {
  Interaction seen;
  seen.kind = InteractionKind::kPrompt;
  seen.text = std::move(title);
  seen.items = std::move(items);
  seen.defaultIndex = defaultIndex;
  seen.answer = kCancel;
  seen.expected = false;
  if (!queue_.empty()) {
    const Expectation& next = queue_.front();
    if (next.kind == InteractionKind::kPrompt && (!next.text || *next.text == seen.text)) {
      seen.answer = next.answer;
      seen.expected = true;
      queue_.pop_front();
    }
  }
  if (!seen.expected && responder_) {
    if (std::optional<int32_t> answer = responder_(seen)) {
      seen.answer = *answer;
      seen.expected = true;
    }
  }
  // A choice outside the list cannot be made; the user cancels instead.
  if (seen.answer < 0 || static_cast<size_t>(seen.answer) >= seen.items.size()) seen.answer = kCancel;
  transcript_.push_back(seen);
  return seen.answer;
}

std::vector<Interaction> UserScript::Unexpected() const {
  std::vector<Interaction> result;
  for (const Interaction& i : transcript_) {
    if (!i.expected) result.push_back(i);
  }
  return result;
}

std::string UserScript::Problems() const {
  std::string problems;
  for (const Interaction& i : transcript_) {
    if (i.expected) continue;
    problems += "unexpected " + std::string(KindName(i.kind));
    if (i.kind == InteractionKind::kAlert) problems += " (kind " + std::to_string(i.alertKind) + ")";
    problems += ": \"" + i.text + "\"\n";
  }
  for (const Expectation& e : queue_) {
    problems += "expected " + std::string(KindName(e.kind)) + " never shown: \"" + e.text.value_or("<any text>") + "\"\n";
  }
  return problems;
}

std::vector<std::string> UserScript::AlertTexts() const {
  std::vector<std::string> texts;
  for (const Interaction& i : transcript_) {
    if (i.kind == InteractionKind::kAlert) texts.push_back(i.text);
  }
  return texts;
}

void UserScript::Clear() {
  queue_.clear();
  transcript_.clear();
}

}  // namespace gw::substitute
