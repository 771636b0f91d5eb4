#pragma once

#include "base/status.h"
#include "base/user_interface.h"

namespace sonavelt::testing {

// A check's Status shown on `ui` as a front end shows it; true when ok.
inline bool Shown(UserInterface& ui, const Status& status) {
  Show(ui, status);
  return status.ok();
}

}  // namespace sonavelt::testing
