#include "net/xml_parser.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace ktv {

namespace {

// The declaration must start within the first 99 characters (0-based position below 99).
constexpr size_t kDeclarationWindow = 99;
// Deeper elements are kept as leaves; their content is read at the level above (no stack overflow on hostile
// input).
constexpr int kMaxDepth = 256;
// Bytes of earlier element text that CDATA sections may escape again, beyond the document's own size.
constexpr size_t kMinEscapeBudget = 64u << 10;

bool IsBlank(unsigned char c) {
  return c <= 32;
}

bool StartsWith(const std::string& text, size_t pos, const char* prefix) {
  return text.compare(pos, std::strlen(prefix), prefix) == 0;
}

bool AllDigits(const std::string& s, bool hex) {
  if (s.empty()) return false;
  for (unsigned char c : s) {
    bool ok = hex ? std::isxdigit(c) != 0 : (c >= '0' && c <= '9');
    if (!ok) return false;
  }
  return true;
}

}  // namespace

// ---- tParamList ----

void tParamList::Clear() {
  Names.clear();
  Values.clear();
}

int tParamList::Find(const std::string& name) const {
  for (size_t i = 0; i < Names.size(); ++i)
    if (SameText(Names[i], name)) return static_cast<int>(i);
  return -1;
}

std::string tParamList::Get(const std::string& name) const {
  int i = Find(name);
  return i < 0 ? std::string() : Values[static_cast<size_t>(i)];
}

void tParamList::Set(const std::string& name, const std::string& value) {
  int i = Find(name);
  if (i >= 0) {
    Values[static_cast<size_t>(i)] = value;
  } else {
    Names.push_back(name);
    Values.push_back(value);
  }
}

void tParamList::ParseAttributes(const std::string& text) {
  Clear();
  const std::string rest = TrimText(text);
  // Works by position and keeps a name index: a tag with a million attributes must not take quadratic time.
  std::unordered_map<std::string, size_t> index;
  size_t pos = 0;
  size_t eq;
  while ((eq = rest.find('=', pos)) != std::string::npos) {
    // The name is not trimmed: a blank before "=" stays part of it, as the reader always did.
    std::string name = rest.substr(pos, eq - pos);
    pos = eq + 1;
    std::string value;
    size_t end;
    if (pos < rest.size() && rest[pos] == '"') {
      ++pos;
      end = rest.find('"', pos);
    } else {
      end = rest.find(' ', pos);
    }
    if (end == std::string::npos) end = rest.size();
    value = rest.substr(pos, end - pos);
    // Skip the value and the quote or blank that ended it, then the blanks before the next name.
    pos = std::min(rest.size(), end + 1);
    while (pos < rest.size() && static_cast<unsigned char>(rest[pos]) <= 32) ++pos;
    auto [at, added] = index.emplace(LowerCase(name), Names.size());
    if (added) {
      Names.push_back(name);
      Values.push_back(value);
    } else {
      Values[at->second] = value;
    }
  }
}

// ---- tXMLTree ----

void tXMLTree::AddChild(const std::string& key, std::unique_ptr<tXMLTree> child) {
  if (!ChildIndex.empty()) ChildIndex.emplace(LowerCase(key), Children.size());
  ChildNames.push_back(key);
  Children.push_back(std::move(child));
}

tXMLTree* tXMLTree::FindChild(const std::string& key) const {
  // Most elements have a handful of children: a scan is cheapest. Long lists (stations, tracks) get an index
  // on their first look-up.
  if (Children.size() <= kScanLimit) {
    for (size_t i = 0; i < ChildNames.size(); ++i)
      if (SameText(ChildNames[i], key)) return Children[i].get();
    return nullptr;
  }
  if (ChildIndex.empty())
    for (size_t i = 0; i < ChildNames.size(); ++i) ChildIndex.emplace(LowerCase(ChildNames[i]), i);
  auto it = ChildIndex.find(LowerCase(key));
  return it == ChildIndex.end() ? nullptr : Children[it->second].get();
}

// ---- tXMLParser ----

tXMLParser::tXMLParser() {
  Reset();
}

tXMLParser::~tXMLParser() = default;

void tXMLParser::Reset() {
  Root = std::make_unique<tXMLTree>();
  Version = "1.0";
  Encoding = "ISO-8859-1";
  LastPath.clear();
  LastNode = nullptr;
}

bool tXMLParser::Parse(const std::string& document) {
  Reset();
  size_t start = document.find("<?");
  if (start == std::string::npos || start >= kDeclarationWindow) return false;
  if (UpperCase(document.substr(start + 2, 4)) != "XML ") return false;

  size_t close = document.find("?>", start + 2);
  std::string declaration =
      document.substr(start + 2, close == std::string::npos ? std::string::npos : close - start - 2);
  tParamList attributes;
  size_t blank = declaration.find(' ');
  attributes.ParseAttributes(blank == std::string::npos ? std::string(" ")
                                                        : declaration.substr(blank + 1) + " ");
  Version = attributes.Get("version");
  Encoding = attributes.Get("encoding");

  // An unterminated declaration swallows the rest of the document: nothing is left to read.
  std::string text = document.substr(0, start);
  if (close != std::string::npos) text += document.substr(close + 2);

  // Remove a document type declaration with its internal subset, counting nested "<" and ">".
  size_t doctype = UpperCase(text).find("<!DOCTYPE");
  if (doctype != std::string::npos) {
    int depth = 1;
    size_t i = doctype + 1;
    for (; i < text.size() && depth > 0; ++i) {
      if (text[i] == '<') ++depth;
      if (text[i] == '>') --depth;
    }
    text.erase(doctype, i - doctype);
  }

  text = TrimText(text);
  EscapeBudget = text.size() + kMinEscapeBudget;
  for (size_t& missing : MissingFrom) missing = std::string::npos;
  Doc = &text;
  Pos = 0;
  ReadElement(*Root, 0);
  Doc = nullptr;
  return true;
}

size_t tXMLParser::FindEnd(int marker, const char* end, size_t from) {
  // Once an end marker is missing after some position it is missing after every later one: remembering that
  // keeps a document full of unclosed sections from being searched to its end again and again.
  size_t& missingFrom = MissingFrom[marker];
  if (from >= missingFrom) return std::string::npos;
  size_t at = Doc->find(end, from);
  if (at == std::string::npos) missingFrom = from;
  return at;
}

void tXMLParser::ReadElement(tXMLTree& node, int depth) {
  const std::string& text = *Doc;
  node.Text.clear();
  // Sibling counts by lower-cased name; a hash instead of a list so that many distinct names stay linear.
  std::unordered_map<std::string, int32_t> counts;
  while (Pos < text.size()) {
    size_t lt = text.find('<', Pos);
    if (lt == std::string::npos) return;
    node.Text += TrimText(text.substr(Pos, lt - Pos));
    Pos = lt + 1;
    while (Pos < text.size() && IsBlank(static_cast<unsigned char>(text[Pos]))) ++Pos;

    if (StartsWith(text, Pos, "![CDATA[")) {
      size_t end = FindEnd(kCDataEnd, "]]>", Pos + 8);
      if (end != std::string::npos) {
        std::string content = TrimText(text.substr(Pos + 8, end - Pos - 8));
        // Each section escapes the element's earlier text once more. Within a budget that is what happens; a
        // hostile run of sections beyond it would grow the text quadratically, so only the new content is
        // escaped then.
        if (node.Text.size() <= EscapeBudget) {
          EscapeBudget -= node.Text.size();
          node.Text = XMLEscape(node.Text + content);
        } else {
          node.Text += XMLEscape(content);
        }
        Pos = end + 3;
      } else {
        Pos += 8;
      }
    } else if (StartsWith(text, Pos, "!--")) {
      size_t end = FindEnd(kCommentEnd, "-->", Pos + 3);
      if (end != std::string::npos) Pos = end + 3;
    } else if (StartsWith(text, Pos, "?")) {
      size_t end = FindEnd(kInstructionEnd, "?>", Pos);
      if (end != std::string::npos) Pos = end + 2;
    } else {
      size_t gt = text.find('>', Pos);
      std::string tag = text.substr(Pos, gt == std::string::npos ? std::string::npos : gt - Pos);
      Pos = gt == std::string::npos ? text.size() : gt + 1;
      // A closing tag ends this level whatever its name; at the top level it ends the document.
      if (!tag.empty() && tag[0] == '/') return;

      bool empty = !tag.empty() && tag.back() == '/';
      if (empty) {
        tag.pop_back();
        tag = TrimText(tag);
      }
      auto child = std::make_unique<tXMLTree>();
      // Only the blank separates the name: a tab or a line break stays part of it.
      size_t blank = tag.find(' ');
      std::string name = tag.substr(0, blank);
      if (blank != std::string::npos) child->Attributes.ParseAttributes(tag.substr(blank + 1));

      int32_t index = counts[LowerCase(name)]++;
      tXMLTree* made = child.get();
      node.AddChild(name + "{" + std::to_string(index) + "}", std::move(child));
      if (!empty && depth < kMaxDepth) ReadElement(*made, depth + 1);
    }
  }
}

bool tXMLParser::Lookup(const std::string& rawPath, tXMLTree*& node, std::string& attribute,
                        bool& wantsAttribute) {
  node = nullptr;
  attribute.clear();
  std::string path = TrimText(rawPath);
  size_t bracket = path.find('[');
  std::string elementPath = path.substr(0, bracket);
  wantsAttribute = bracket != std::string::npos;
  if (wantsAttribute) {
    // "[name]" must close the path; anything else is malformed.
    if (path.back() != ']' || path.find(']') != path.size() - 1) return false;
    attribute = path.substr(bracket + 1, path.size() - bracket - 2);
  }

  if (LastNode && elementPath == LastPath) {
    node = LastNode;
    return true;
  }
  LastPath = elementPath;
  LastNode = nullptr;

  tXMLTree* current = Root.get();
  size_t pos = 0;
  while (pos <= elementPath.size()) {
    size_t dot = elementPath.find('.', pos);
    std::string step = elementPath.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    pos = dot == std::string::npos ? elementPath.size() + 1 : dot + 1;
    if (step.empty()) continue;  // a leading "." of a step is ignored

    std::string key;
    size_t brace = step.find('{');
    if (brace == std::string::npos) {
      if (step.find('}') != std::string::npos) return false;
      key = step + "{0}";
    } else {
      std::string digits = step.substr(brace + 1, step.size() - brace - 2);
      if (brace == 0 || step.back() != '}' || digits.size() > 9 || !AllDigits(digits, false)) return false;
      key = step.substr(0, brace) + "{" + std::to_string(std::stol(digits)) + "}";
    }
    current = current->FindChild(key);
    if (!current) return false;
  }
  node = current;
  LastNode = current;
  return true;
}

std::string tXMLParser::GetValue(const std::string& path) {
  tXMLTree* node;
  std::string attribute;
  bool wantsAttribute;
  if (!Lookup(path, node, attribute, wantsAttribute)) return {};
  std::string value = wantsAttribute ? node->Attributes.Get(attribute) : node->Text;
  return DecodeEntities ? XMLUnescape(value) : value;
}

bool tXMLParser::Exists(const std::string& path) {
  tXMLTree* node;
  std::string attribute;
  bool wantsAttribute;
  return Lookup(path, node, attribute, wantsAttribute);
}

// ---- free routines ----

std::string XMLEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        if (c < 32 || c >= 128) {
          out += "&#" + std::to_string(c) + ";";
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string XMLUnescape(const std::string& text) {
  // Character references first.
  std::string numeric;
  numeric.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '&' || i + 1 >= text.size() || text[i + 1] != '#') {
      numeric += text[i++];
      continue;
    }
    size_t semi = text.find(';', i + 2);
    bool valid = semi != std::string::npos && semi - i <= 7;
    unsigned value = 0;
    if (valid) {
      std::string digits = text.substr(i + 2, semi - i - 2);
      bool hex = !digits.empty() && digits[0] == 'x';
      if (hex) digits.erase(0, 1);
      valid = AllDigits(digits, hex);
      if (valid) value = static_cast<unsigned>(std::stoul(digits, nullptr, hex ? 16 : 10));
    }
    if (!valid) {
      numeric += "&#";
      i += 2;
      continue;
    }
    numeric += static_cast<char>(value & 0xFF);
    i = semi + 1;
  }

  // Then named references, each replaced once: what a replacement produced is not read again.
  static const struct {
    const char* Name;
    char Char;
  } kNamed[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  out.reserve(numeric.size());
  for (i = 0; i < numeric.size();) {
    bool replaced = false;
    if (numeric[i] == '&') {
      for (const auto& named : kNamed) {
        size_t len = std::strlen(named.Name);
        if (SameText(numeric.substr(i, len), named.Name)) {
          out += named.Char;
          i += len;
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += numeric[i++];
  }
  return out;
}

}  // namespace ktv
