#pragma once

#include <string>

#include "base/box_style.h"
#include "base/status.h"

namespace sonavelt {

// The questions a run really asks while it works (a sound's format change,
// low disk space, the quit question): the narrow part of UserInterface that
// core code may hold. Everything else the core has to say comes back to the
// front end as a Status and is shown there.
// The answer to one of a series of like questions.
enum class SeriesAnswer { kYes, kNo, kYesToAll, kNoToAll };

class Questions {
 public:
  virtual ~Questions() = default;
  // A Yes/No question with the question icon; true for Yes.
  virtual bool Ask(BoxStyle style, const std::string& question) = 0;
  // A question of another kind; true for Yes or OK. Front ends that draw no
  // boxes answer it as Ask.
  virtual bool AskAs(QuestionKind kind, BoxStyle style, const std::string& question) {
    (void)kind;
    return Ask(style, question);
  }
  // A Yes/No question about one of several like items (the sounds of a
  // run); more_waiting when others follow, so that a front end that draws
  // boxes can add "Yes to All" and "No to All". Front ends without such
  // buttons answer it as Ask.
  virtual SeriesAnswer AskInSeries(BoxStyle style, const std::string& question, bool more_waiting) {
    (void)more_waiting;
    return Ask(style, question) ? SeriesAnswer::kYes : SeriesAnswer::kNo;
  }
};

// Where the core tells the user something or asks a Yes/No question. The core
// never shows anything itself: the wizard shows message boxes (caption
// "Sonavelt"), the command line writes to standard error and asks on the
// terminal, the tests record the calls and answer from a script.
//
// Texts use "\r\n" line ends, as the program's messages always have; a front
// end converts them for its display. Implementations may be called from the
// run's worker thread and must block until the user has answered.
class UserInterface : public Questions {
 public:
  // A message with an OK button.
  virtual void Tell(BoxStyle style, const std::string& text) = 0;
};

// Shows a failed status in its box; ok and cancelled ones show nothing.
inline void Show(UserInterface& ui, const Status& status) {
  if (!status.ok() && !status.cancelled()) ui.Tell(status.box(), status.message());
}

}  // namespace sonavelt
