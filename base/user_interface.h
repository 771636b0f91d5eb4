#pragma once

#include <string>

#include "base/box_style.h"
#include "base/status.h"

namespace sonavelt {

// The questions a run really asks while it works (a sound's format change,
// low disk space, the quit question): the narrow part of UserInterface that
// core code may hold. Everything else the core has to say comes back to the
// front end as a Status and is shown there.
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
