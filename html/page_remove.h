#pragma once

#include <string>
#include <string_view>

#include "html/page_edit.h"

// Taking the sound player off a page again: the undo of ProcessPage. Pure,
// like the edit: the caller reads the page and writes the result.
namespace sonavelt::html {

struct PageRemoveResult {
  enum class Outcome { kRemoved, kNoBlock, kUnreadable };
  Outcome outcome = Outcome::kRemoved;
  std::string message;  // kNoBlock / kUnreadable: the text for the user
  std::string page;     // kRemoved: the page without the block
};

// Takes the first marked block off the page (with the wrapper lines the first
// insert wrote, HTML or XHTML form, when they are still around it) and undoes
// `first_run_edit` (the BODY edit of the run that first inserted the block)
// where the page still shows it. A page nobody else changed comes back byte
// for byte as it was before its first run. The block is found as ProcessPage
// finds an earlier one; a UTF-16 page is read and written back as there.
// kNoBlock when the page carries no block, kUnreadable for a UTF-16 page that
// ends inside a character. Linear in the page's length.
PageRemoveResult RemovePlayer(std::string_view page_text, BodyEdit first_run_edit,
                              const PageNames& names);

// The refusal of a page that carries no block.
std::string NoPlayerBlockMessage(std::string_view name);

}  // namespace sonavelt::html
