#include "html/html_tokenizer.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>

namespace sonavelt::html {
namespace {

constexpr size_t kNpos = std::string_view::npos;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsFolded(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (Lower(text[i]) != lower[i]) return false;
  return true;
}

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Start tags that end svg or math content: the HTML element they start
// cannot live inside it.
bool IsBreakout(std::string_view text, const Token& tag) {
  static constexpr std::string_view kNames[] = {
      "b",  "big", "blockquote", "body", "br",  "center", "code",   "dd",     "div",
      "dl", "dt",  "em",         "embed", "h1", "h2",     "h3",     "h4",     "h5",
      "h6", "head", "hr",        "i",    "img", "li",     "listing", "menu",  "meta",
      "nobr", "ol", "p",         "pre",  "ruby", "s",     "small",  "span",   "strong",
      "strike", "sub", "sup",    "table", "tt", "u",      "ul",     "var"};
  if (std::find(std::begin(kNames), std::end(kNames), tag.name) != std::end(kNames)) return true;
  return tag.name == "font" &&
         (FindAttribute(text, tag, "color") || FindAttribute(text, tag, "face") ||
          FindAttribute(text, tag, "size"));
}

}  // namespace

const AttributeSpan* FindAttribute(std::string_view text, const Token& tag,
                                   std::string_view lower_name) {
  // The first of attributes with one name is the one that counts.
  for (const AttributeSpan& a : tag.attributes)
    if (EqualsFolded(text.substr(a.name_offset, a.name_length), lower_name)) return &a;
  return nullptr;
}

HtmlTokenizer::HtmlTokenizer(std::string_view text) : text_(text) {}

bool HtmlTokenizer::InForeignContent() const {
  return !foreign_.empty() && !foreign_.back().integration_point;
}

bool HtmlTokenizer::Next(Token* token) {
  if (done_) return false;
  token->name.clear();
  token->attributes.clear();
  token->self_closing = false;
  token->foreign = InForeignContent();
  token->in_template = template_depth_ > 0;
  const size_t foreign_before = foreign_.size();
  const int templates_before = template_depth_;
  bool read = content_ != Content::kData ? ReadRawContent(token) : ReadData(token);
  if (foreign_.size() != foreign_before || template_depth_ != templates_before) ++context_changes_;
  return read;
}

void HtmlTokenizer::SetEndInTag(size_t start, std::string_view name) {
  done_ = true;
  end_ = TextEnd::kInTag;
  unfinished_offset_ = start;
  unfinished_name_ = std::string(name);
}

bool HtmlTokenizer::ReadData(Token* token) {
  const size_t n = text_.size();
  if (pos_ >= n) {
    done_ = true;
    return false;
  }
  // A '<' starts markup only before '!', '?', a letter, or a '/' that is
  // followed by anything; otherwise it is text.
  size_t lt = pos_;
  while ((lt = text_.find('<', lt)) != kNpos) {
    if (lt + 1 < n) {
      char c = text_[lt + 1];
      if (c == '!' || c == '?' || IsAlpha(c) || (c == '/' && lt + 2 < n)) break;
    }
    ++lt;
  }
  if (lt != pos_) {
    token->kind = TokenKind::kText;
    token->offset = pos_;
    token->length = (lt == kNpos ? n : lt) - pos_;
    pos_ += token->length;
    return true;
  }
  const char c = text_[pos_ + 1];
  if (c == '!') return ReadMarkupDeclaration(token);
  if (IsAlpha(c)) return ReadTag(token, pos_, false);
  if (c == '?') {  // "<?xml ...>": a bogus comment through the next '>'
    size_t close = text_.find('>', pos_ + 2);
    FinishComment(token, pos_, close == kNpos ? kNpos : close + 1);
    return true;
  }
  // c == '/'
  const char d = text_[pos_ + 2];
  if (IsAlpha(d)) return ReadTag(token, pos_, true);
  if (d == '>') {  // "</>" is dropped: an empty comment in effect
    FinishComment(token, pos_, pos_ + 3);
    return true;
  }
  size_t close = text_.find('>', pos_ + 2);
  FinishComment(token, pos_, close == kNpos ? kNpos : close + 1);
  return true;
}

void HtmlTokenizer::FinishComment(Token* token, size_t start, size_t end) {
  token->kind = TokenKind::kComment;
  token->offset = start;
  if (end == kNpos) {
    // Text after the page would be inside the comment.
    end = text_.size();
    done_ = true;
    end_ = TextEnd::kInComment;
  }
  token->length = end - start;
  pos_ = end;
}

bool HtmlTokenizer::ReadMarkupDeclaration(Token* token) {
  const size_t start = pos_;
  std::string_view rest = text_.substr(start + 2);
  if (rest.substr(0, 2) == "--") {
    size_t i = start + 4;
    // "<!-->" and "<!--->" are whole (empty) comments.
    if (text_.substr(i, 1) == ">") {
      FinishComment(token, start, i + 1);
      return true;
    }
    if (text_.substr(i, 2) == "->") {
      FinishComment(token, start, i + 2);
      return true;
    }
    // Otherwise the first "-->" or "--!>" from here ends it.
    size_t dashes = text_.find("--", i);
    while (dashes != kNpos) {
      if (text_.substr(dashes + 2, 1) == ">") {
        FinishComment(token, start, dashes + 3);
        return true;
      }
      if (text_.substr(dashes + 2, 2) == "!>") {
        FinishComment(token, start, dashes + 4);
        return true;
      }
      dashes = text_.find("--", dashes + 1);
    }
    FinishComment(token, start, kNpos);
    return true;
  }
  if (EqualsFolded(rest.substr(0, 7), "doctype")) {
    size_t close = text_.find('>', start + 9);
    FinishComment(token, start, close == kNpos ? kNpos : close + 1);
    token->kind = TokenKind::kDoctype;
    return true;
  }
  if (!foreign_.empty() && rest.substr(0, 7) == "[CDATA[") {
    size_t close = text_.find("]]>", start + 9);
    FinishComment(token, start, close == kNpos ? kNpos : close + 3);
    token->kind = TokenKind::kCdata;
    return true;
  }
  size_t close = text_.find('>', start + 2);
  FinishComment(token, start, close == kNpos ? kNpos : close + 1);
  return true;
}

bool HtmlTokenizer::ReadTag(Token* token, size_t start, bool end_tag) {
  const size_t n = text_.size();
  size_t i = start + (end_tag ? 2 : 1);
  while (i < n && !IsSpace(text_[i]) && text_[i] != '/' && text_[i] != '>') {
    token->name.push_back(Lower(text_[i]));
    ++i;
  }
  // The attribute states of the tokenizer, folded into one loop: `i` is at
  // the character the "before attribute name" state would read.
  while (true) {
    while (i < n && IsSpace(text_[i])) ++i;
    if (i >= n) break;
    if (text_[i] == '>') {
      ++i;
      token->kind = end_tag ? TokenKind::kEndTag : TokenKind::kStartTag;
      token->offset = start;
      token->length = i - start;
      pos_ = i;
      ApplyTreeRules(token);
      return true;
    }
    if (text_[i] == '/') {
      // Self-closing only right before '>'; else the '/' is dropped.
      ++i;
      if (i < n && text_[i] == '>') token->self_closing = true;
      continue;
    }
    AttributeSpan attribute;
    attribute.name_offset = i;
    ++i;  // the first character, even '=', belongs to the name
    while (i < n && !IsSpace(text_[i]) && text_[i] != '/' && text_[i] != '>' && text_[i] != '=')
      ++i;
    attribute.name_length = i - attribute.name_offset;
    size_t after = i;
    while (after < n && IsSpace(text_[after])) ++after;
    if (after < n && text_[after] == '=') {
      i = after + 1;
      while (i < n && IsSpace(text_[i])) ++i;
      attribute.has_value = true;
      if (i < n && (text_[i] == '"' || text_[i] == '\'')) {
        size_t close = text_.find(text_[i], i + 1);
        if (close == kNpos) break;
        attribute.value_offset = i + 1;
        attribute.value_length = close - i - 1;
        i = close + 1;
      } else {
        attribute.value_offset = i;
        while (i < n && !IsSpace(text_[i]) && text_[i] != '>') ++i;
        attribute.value_length = i - attribute.value_offset;
      }
    } else {
      i = after;
    }
    token->attributes.push_back(attribute);
  }
  SetEndInTag(start, token->name);
  pos_ = n;
  return false;
}

void HtmlTokenizer::ApplyTreeRules(Token* token) {
  const std::string& name = token->name;
  if (token->kind == TokenKind::kStartTag) {
    if (InForeignContent()) {
      if (!IsBreakout(text_, *token)) {
        token->foreign = true;
        if (!token->self_closing) {
          ForeignElement element;
          element.name = name;
          element.math = foreign_.back().math;
          if (element.math) {
            const AttributeSpan* encoding = nullptr;
            if (name == "annotation-xml") encoding = FindAttribute(text_, *token, "encoding");
            std::string_view value =
                encoding ? text_.substr(encoding->value_offset, encoding->value_length) : "";
            element.integration_point = OneOf(name, {"mi", "mo", "mn", "ms", "mtext"}) ||
                                        EqualsFolded(value, "text/html") ||
                                        EqualsFolded(value, "application/xhtml+xml");
          } else {
            element.integration_point = OneOf(name, {"foreignobject", "desc", "title"});
          }
          foreign_.push_back(std::move(element));
        }
        return;
      }
      while (InForeignContent()) foreign_.pop_back();
      token->foreign = false;
    }
    if (name == "svg" || name == "math") {
      if (!token->self_closing) foreign_.push_back({name, name == "math", false});
      return;
    }
    if (name == "template") {
      ++template_depth_;
      template_foreign_sizes_.push_back(foreign_.size());
      return;
    }
    if (name == "title" || name == "textarea") {
      content_ = Content::kRcdata;
    } else if (OneOf(name, {"style", "xmp", "iframe", "noembed", "noframes", "noscript"})) {
      content_ = Content::kRawText;
    } else if (name == "script") {
      content_ = Content::kScript;
    } else if (name == "plaintext") {
      content_ = Content::kPlaintext;
    } else {
      return;
    }
    raw_element_ = name;
    return;
  }

  // End tags.
  if (!foreign_.empty()) {
    if (InForeignContent() && (name == "br" || name == "p")) {
      while (InForeignContent()) foreign_.pop_back();
      token->foreign = false;
    } else if (InForeignContent()) {
      for (size_t k = foreign_.size(); k-- > 0;) {
        if (foreign_[k].name == name) {
          foreign_.resize(k);
          token->foreign = true;
          return;
        }
      }
    } else if (foreign_.back().name == name) {
      foreign_.pop_back();
      token->foreign = true;
      return;
    }
  }
  token->foreign = false;
  if (name == "template" && template_depth_ > 0) {
    --template_depth_;
    foreign_.resize(std::min(foreign_.size(), template_foreign_sizes_.back()));
    template_foreign_sizes_.pop_back();
    token->in_template = template_depth_ > 0;
  }
}

bool HtmlTokenizer::IsAppropriateEndTag(size_t at) const {
  const size_t name_at = at + 2;
  const size_t after = name_at + raw_element_.size();
  return text_.substr(at, 2) == "</" && after < text_.size() &&
         EqualsFolded(text_.substr(name_at, raw_element_.size()), raw_element_) &&
         (IsSpace(text_[after]) || text_[after] == '/' || text_[after] == '>');
}

size_t HtmlTokenizer::FindScriptEnd(size_t from) const {
  // The script data states: "<!--" starts an escaped part, in which
  // "<script" starts a double-escaped part that only "</script" ends; "-->"
  // returns to plain script data from either. "</script" ends the element
  // except when double-escaped.
  enum class State { kData, kEscaped, kDoubleEscaped };
  State state = State::kData;
  int dashes = 0;  // '-' in a row, in the escaped states
  const size_t n = text_.size();
  auto letters_at = [&](size_t i, size_t* end) {
    size_t j = i;
    while (j < n && IsAlpha(text_[j])) ++j;
    *end = j;
    return EqualsFolded(text_.substr(i, j - i), "script") && j < n &&
           (IsSpace(text_[j]) || text_[j] == '/' || text_[j] == '>');
  };
  size_t i = from;
  while (i < n) {
    const char c = text_[i];
    if (state == State::kData) {
      if (c != '<') {
        size_t next = text_.find('<', i + 1);
        if (next == kNpos) return kNpos;
        i = next;
        continue;
      }
      if (IsAppropriateEndTag(i)) return i;
      if (text_.substr(i, 4) == "<!--") {
        state = State::kEscaped;
        dashes = 2;
        i += 4;
        continue;
      }
      ++i;
      continue;
    }
    if (c == '-') {
      ++dashes;
      ++i;
      continue;
    }
    if (c == '>' && dashes >= 2) {
      state = State::kData;
      dashes = 0;
      ++i;
      continue;
    }
    dashes = 0;
    if (c != '<') {
      ++i;
      continue;
    }
    if (state == State::kEscaped) {
      if (IsAppropriateEndTag(i)) return i;
      if (i + 1 < n && IsAlpha(text_[i + 1])) {
        size_t end = 0;
        if (letters_at(i + 1, &end)) {
          state = State::kDoubleEscaped;
          i = end + 1;
        } else {
          i = end;
        }
        continue;
      }
      ++i;
      continue;
    }
    // Double-escaped: "</script" returns to the escaped state.
    if (i + 1 < n && text_[i + 1] == '/') {
      size_t end = 0;
      if (letters_at(i + 2, &end)) {
        state = State::kEscaped;
        i = end + 1;
      } else {
        i = end;
      }
      continue;
    }
    ++i;
  }
  return kNpos;
}

bool HtmlTokenizer::ReadRawContent(Token* token) {
  const size_t n = text_.size();
  size_t end = kNpos;
  if (content_ == Content::kScript) {
    end = FindScriptEnd(pos_);
  } else if (content_ != Content::kPlaintext) {
    for (size_t at = text_.find("</", pos_); at != kNpos; at = text_.find("</", at + 2)) {
      if (IsAppropriateEndTag(at)) {
        end = at;
        break;
      }
    }
  }
  if (end == kNpos) {
    done_ = true;
    end_ = content_ == Content::kPlaintext ? TextEnd::kInPlaintext : TextEnd::kInRawText;
    unfinished_name_ = raw_element_;
    end = n;
  }
  content_ = Content::kData;
  if (end == pos_) return ReadData(token);
  token->kind = TokenKind::kRawText;
  token->offset = pos_;
  token->length = end - pos_;
  pos_ = end;
  return true;
}

}  // namespace sonavelt::html
