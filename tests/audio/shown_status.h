#pragma once

#include "base/status.h"
#include "base/user_interface.h"

namespace sonavelt::testing {

// A check's Status shown on `ui` as a front end shows it; true when ok.
inline bool Shown(UserInterface& ui, const Status& status) {
  Show(ui, status);
  return status.ok();
}

// A result that carries its Status (a conversion's) shown the same way;
// its outcome.
template <class Result>
auto Shown(UserInterface& ui, const Result& result) -> decltype(result.outcome) {
  Show(ui, result.status);
  return result.outcome;
}

}  // namespace sonavelt::testing
