#pragma once

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

}  // namespace sonavelt
