#include "html/page_structure.h"

#include <algorithm>
#include <initializer_list>

#include "base/text.h"
#include "html/utf16_text.h"

namespace sonavelt::html {
namespace {

constexpr std::string_view kXhtmlNamespace = "HTTP://WWW.W3.ORG/1999/XHTML";

bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

bool AllSpace(std::string_view text) { return std::all_of(text.begin(), text.end(), IsHtmlSpace); }

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string_view AttributeValue(std::string_view text, const AttributeSpan& a) {
  return text.substr(a.value_offset, a.value_length);
}

// Whether the page is a frameset, decided as the tree builder does: a
// frameset start tag counts until the body has started for good (an
// explicit BODY tag, text, or an element that clears the "frameset-ok"
// flag); elements that belong in the head do not start the body.
class FramesetDecision {
 public:
  // Returns true when `token` makes the document a frameset.
  bool Feed(std::string_view text, const Token& token) {
    if (decided_) return false;
    if (token.kind == TokenKind::kText) {
      if (!token.in_template && !AllSpace(text.substr(token.offset, token.length))) decided_ = true;
      return false;
    }
    if (!token.Counts()) return false;
    const std::string& name = token.name;
    if (token.kind == TokenKind::kEndTag) {
      if (name == "br") decided_ = true;
      return false;
    }
    if (token.kind != TokenKind::kStartTag) return false;
    if (name == "frameset") {
      decided_ = true;
      return true;
    }
    if (name == "body") {
      decided_ = true;
      return false;
    }
    if (OneOf(name, {"pre", "listing", "li", "dd", "dt", "button", "applet", "marquee", "object",
                     "table", "area", "br", "embed", "img", "image", "keygen", "wbr", "hr",
                     "textarea", "xmp", "iframe", "select"})) {
      decided_ = true;
    } else if (name == "input") {
      const AttributeSpan* type = FindAttribute(text, token, "type");
      if (!type || LowerCopy(AttributeValue(text, *type)) != "hidden") decided_ = true;
    }
    return false;
  }

 private:
  bool decided_ = false;
};

// The blocks of earlier runs (PageStructure::marked_applets), fed token by
// token.
class MarkedApplets {
 public:
  explicit MarkedApplets(std::vector<PageStructure::MarkedApplet>* out) : out_(out) {}

  // `context` is HtmlTokenizer::context_changes after the token.
  void Feed(std::string_view text, const Token& token, size_t context) {
    const size_t token_end = token.offset + token.length;
    if (open_ && params_open_) {
      if (token.kind == TokenKind::kText && AllSpace(text.substr(token.offset, token.length))) {
        // White space between the parameters.
      } else if (token.kind == TokenKind::kStartTag && token.Counts() && token.name == "param") {
        params_end_ = token_end;
      } else {
        params_open_ = false;
      }
    }
    if (!token.Counts() || token.name != "applet") return;
    if (token.kind == TokenKind::kEndTag) {
      if (open_ && marked_)
        out_->push_back({{start_, token_end - start_}, Head(), context != start_context_});
      open_ = false;
      return;
    }
    if (token.kind != TokenKind::kStartTag) return;
    Finish();
    open_ = true;
    start_ = token.offset;
    params_end_ = token_end;
    params_open_ = true;
    start_context_ = context;
    marked_ = UpperCopy(text.substr(token.offset, token.length)).find(kAppletMarker) !=
              std::string::npos;
  }

  // An applet left open: a marked one covers its tag and parameters.
  void Finish() {
    if (open_ && marked_) out_->push_back({Head(), Head(), false});
    open_ = false;
  }

 private:
  TextRange Head() const { return {start_, params_end_ - start_}; }

  std::vector<PageStructure::MarkedApplet>* out_;
  bool open_ = false;
  bool marked_ = false;
  bool params_open_ = false;
  size_t start_ = 0;
  size_t params_end_ = 0;
  size_t start_context_ = 0;
};

}  // namespace

PageStructure ReadPageStructure(std::string_view text) {
  PageStructure page;
  HtmlTokenizer tokenizer(text);
  FramesetDecision frameset;
  MarkedApplets applets(&page.marked_applets);
  bool html_tag_seen = false;
  bool base_seen = false;
  Token token;
  while (tokenizer.Next(&token)) {
    applets.Feed(text, token, tokenizer.context_changes());
    if (frameset.Feed(text, token)) page.frameset = true;
    if (!token.Counts() || (token.kind != TokenKind::kStartTag && token.kind != TokenKind::kEndTag))
      continue;
    const std::string& name = token.name;
    const size_t token_end = token.offset + token.length;
    if (token.kind == TokenKind::kStartTag) {
      if (name == "body" && !page.body_tag) {
        page.body_tag = TextRange{token.offset, token.length};
      } else if (name == "html" && !html_tag_seen) {
        html_tag_seen = true;
        if (!tokenizer.in_foreign_content()) page.html_start = BodyAnchor{token_end, std::nullopt};
        page.xhtml_namespace = UpperCopy(text.substr(token.offset, token.length))
                                   .find(kXhtmlNamespace) != std::string::npos;
      } else if (name == "base" && !base_seen) {
        // The first base element with an href is the one that counts.
        if (const AttributeSpan* href = FindAttribute(text, token, "href")) {
          base_seen = true;
          page.base_href = href->value_length > 0;
        }
      } else if (name == "frame" && page.frameset) {
        const AttributeSpan* src = FindAttribute(text, token, "src");
        if (src && src->value_length > 0)
          page.frame_sources.emplace_back(AttributeValue(text, *src));
      }
      continue;
    }
    // End tags.
    if (name == "body") {
      if (page.body_tag && !page.body_end) page.body_end = token.offset;
    } else if (name == "html") {
      if (page.body_tag && !page.html_end) page.html_end = token.offset;
      for (std::optional<BodyAnchor>* anchor : {&page.head_end, &page.title_end, &page.html_start})
        if (*anchor && !(*anchor)->html_end) (*anchor)->html_end = token.offset;
    } else if (tokenizer.in_foreign_content()) {
      // A BODY put here would end the svg or math element, and so change
      // how the rest of the page reads: no anchor.
    } else if (name == "head" && !page.head_end) {
      page.head_end = BodyAnchor{token_end, std::nullopt};
    } else if (name == "title" && !page.title_end) {
      page.title_end = BodyAnchor{token_end, std::nullopt};
    }
  }
  applets.Finish();
  page.end = tokenizer.end();
  page.end_element = tokenizer.unfinished_name();
  if (page.end == TextEnd::kData && tokenizer.template_depth() > 0) {
    // Text appended there would be template contents, which no one sees.
    page.end = TextEnd::kInRawText;
    page.end_element = "template";
  }
  if (page.end == TextEnd::kInTag && page.end_element == "body" && !page.body_tag)
    page.unfinished_body_tag = tokenizer.unfinished_offset();
  return page;
}

PageMarkup ReadPageMarkup(std::string_view page_text) {
  std::string decoded;
  std::string_view text = page_text;
  if (std::optional<Utf16Order> order = Utf16OrderOf(page_text)) {
    decoded = Utf16PageToUtf8(page_text, *order).value_or("");
    text = decoded;
  }
  size_t start = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;  // UTF-8 byte-order mark
  while (start < text.size() && IsHtmlSpace(text[start])) ++start;
  PageStructure structure = ReadPageStructure(text);
  PageMarkup markup;
  markup.xhtml = UpperCopy(text.substr(start, 5)) == "<?XML" || structure.xhtml_namespace;
  markup.base_href = structure.base_href;
  return markup;
}

std::optional<TextRange> EarlierBlock(const PageStructure& page) {
  if (page.marked_applets.empty()) return std::nullopt;
  const PageStructure::MarkedApplet& first = page.marked_applets.front();
  // The head never holds the BODY tag: a tag other than <param> ends it.
  if (first.changes_context ||
      (page.body_tag && first.element.offset < page.body_tag->offset &&
       first.element.offset + first.element.length > page.body_tag->offset))
    return first.head;
  return first.element;
}

}  // namespace sonavelt::html
