#pragma once

#include <deque>
#include <string>
#include <vector>

#include "base/user_interface.h"

namespace sonavelt::testing {

// A UserInterface that records every message and question and answers
// questions from a script (Yes when the script is empty).
class RecordingUserInterface : public UserInterface {
 public:
  struct Call {
    enum class Kind { kTell, kAsk } kind;
    BoxStyle style;
    std::string text;
    QuestionKind question = QuestionKind::kYesNo;  // of a kAsk
  };

  void Tell(BoxStyle style, const std::string& text) override {
    calls.push_back({Call::Kind::kTell, style, text});
  }
  bool Ask(BoxStyle style, const std::string& question) override {
    calls.push_back({Call::Kind::kAsk, style, question});
    if (answers.empty()) return true;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool AskAs(QuestionKind kind, BoxStyle style, const std::string& question) override {
    const bool answer = Ask(style, question);
    calls.back().question = kind;
    return answer;
  }

  // Texts of the messages told so far, in order.
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const Call& c : calls)
      if (c.kind == Call::Kind::kTell) out.push_back(c.text);
    return out;
  }
  std::vector<std::string> Questions() const {
    std::vector<std::string> out;
    for (const Call& c : calls)
      if (c.kind == Call::Kind::kAsk) out.push_back(c.text);
    return out;
  }

  std::vector<Call> calls;
  std::deque<bool> answers;  // scripted answers to Ask, first to last
};

}  // namespace sonavelt::testing
