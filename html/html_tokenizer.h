#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The page's markup as a browser's tokenizer reads it: the tokenization of the
// HTML standard, with the few decisions of its tree builder that switch the
// tokenizer's state (the text of title and textarea, of style, xmp, iframe,
// noembed, noframes and noscript (as with scripting on), of script with its
// escaped states, plaintext, CDATA sections in svg and math, and template
// contents). Every token is a byte range of the page, so an edit can splice
// between tokens and keep every other byte.
//
// The text is bytes; only ASCII letters fold case, so UTF-8 and single-byte
// pages read alike. CR counts as white space (the standard turns it into LF).
// One pass, linear in the text's length.
namespace sonavelt::html {

enum class TokenKind {
  kText,      // character data in the data state (markup may follow it)
  kRawText,   // the text of a raw text, RCDATA, script or plaintext element
  kStartTag,  // '<' through '>'
  kEndTag,    // "</" through '>'
  kComment,   // also bogus comments ("<?...>", "<!x...>", "</1...>") and "<!-->"
  kDoctype,
  kCdata,     // "<![CDATA[" through "]]>", only in svg or math content
};

// An attribute of a tag, as byte ranges of the text.
struct AttributeSpan {
  size_t name_offset = 0;
  size_t name_length = 0;
  bool has_value = false;  // "=" followed; the value may still be empty
  size_t value_offset = 0;  // without quotes
  size_t value_length = 0;
};

struct Token {
  TokenKind kind = TokenKind::kText;
  size_t offset = 0;
  size_t length = 0;
  std::string name;  // tags: the name in lower case
  bool self_closing = false;
  std::vector<AttributeSpan> attributes;  // tags only
  // Inside a template's contents, which the document does not show until a
  // script clones them: no tag there shapes the page.
  bool in_template = false;
  // A tag read as svg or math content, not as HTML.
  bool foreign = false;

  // A tag of the page itself: HTML, outside every template.
  bool Counts() const { return !in_template && !foreign; }
};

// Where the tokenizer is when the text ends.
enum class TextEnd {
  kData,        // text appended at the end is read as markup
  kInTag,       // inside a tag that never closes (the tag is lost)
  kInComment,   // inside a comment, DOCTYPE or CDATA section
  kInRawText,   // inside a raw text, RCDATA or script element
  kInPlaintext, // after <plaintext>: everything is text
};

class HtmlTokenizer {
 public:
  // The text must outlive the tokenizer.
  explicit HtmlTokenizer(std::string_view text);

  // The next token; false at the end of the text.
  bool Next(Token* token);

  // After Next has returned false: the state the text ends in, and for
  // kInTag the tag (offset of its '<', lower-case name; empty name for a
  // DOCTYPE or a "</" that never closes), for kInRawText the element.
  TextEnd end() const { return end_; }
  size_t unfinished_offset() const { return unfinished_offset_; }
  const std::string& unfinished_name() const { return unfinished_name_; }
  // How many templates are open where the text ends.
  int template_depth() const { return template_depth_; }
  // Whether tags read next are svg or math content (after the token Next
  // gave last).
  bool in_foreign_content() const { return InForeignContent(); }
  // How often a token has opened or closed svg, math or template content so
  // far: equal counts around a stretch of the page mean that nothing in it
  // changed how the page after it reads.
  size_t context_changes() const { return context_changes_; }

 private:
  enum class Content { kData, kRcdata, kRawText, kScript, kPlaintext };

  // An element of svg or math content that is still open.
  struct ForeignElement {
    std::string name;
    bool math = false;
    bool integration_point = false;  // its content is HTML
  };

  bool InForeignContent() const;
  bool ReadData(Token* token);
  bool ReadRawContent(Token* token);
  bool ReadMarkupDeclaration(Token* token);
  bool ReadTag(Token* token, size_t start, bool end_tag);
  void FinishComment(Token* token, size_t start, size_t end);
  void ApplyTreeRules(Token* token);
  size_t FindScriptEnd(size_t from) const;
  bool IsAppropriateEndTag(size_t at) const;
  void SetEndInTag(size_t start, std::string_view name);

  std::string_view text_;
  size_t pos_ = 0;
  Content content_ = Content::kData;
  std::string raw_element_;  // the element whose text content_ is in
  std::vector<ForeignElement> foreign_;
  int template_depth_ = 0;
  std::vector<size_t> template_foreign_sizes_;  // foreign_'s size at each open template
  size_t context_changes_ = 0;
  bool done_ = false;
  TextEnd end_ = TextEnd::kData;
  size_t unfinished_offset_ = 0;
  std::string unfinished_name_;
};

// The attribute's value as written (quotes removed, character references
// left as they are); `lower_name` in lower case.
const AttributeSpan* FindAttribute(std::string_view text, const Token& tag,
                                   std::string_view lower_name);

}  // namespace sonavelt::html
