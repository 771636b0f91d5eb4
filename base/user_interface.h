#pragma once

#include <string>

namespace sonavelt {

// How a message box is shown. The texts come with their style: the sound and
// page checks and the run's own messages are system-modal (application-modal
// in our front ends); the option and remote checks, and the converter's short
// messages, are plain boxes.
enum class BoxStyle {
  kPlain,        // OK button
  kSystemModal,  // OK button, blocks the whole program
};

// The buttons and icon of a question.
enum class QuestionKind {
  kYesNo,      // Yes and No with the question icon
  kYesNoStop,  // Yes and No with the stop icon: Yes stops the work
  kOkCancel,   // OK and Cancel, no icon
};

// Where the core tells the user something or asks a Yes/No question. The core
// never shows anything itself: the wizard shows message boxes (caption
// "Sonavelt"), the command line writes to standard error and asks on the
// terminal, the tests record the calls and answer from a script.
//
// Texts use "\r\n" line ends, as the program's messages always have; a front
// end converts them for its display. Implementations may be called from the
// run's worker thread and must block until the user has answered.
class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // A message with an OK button.
  virtual void Tell(BoxStyle style, const std::string& text) = 0;
  // A Yes/No question with the question icon; true for Yes.
  virtual bool Ask(BoxStyle style, const std::string& question) = 0;
  // A question of another kind; true for Yes or OK. Front ends that draw no
  // boxes answer it as Ask.
  virtual bool AskAs(QuestionKind kind, BoxStyle style, const std::string& question) {
    (void)kind;
    return Ask(style, question);
  }
};

}  // namespace sonavelt
