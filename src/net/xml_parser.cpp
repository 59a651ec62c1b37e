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

bool StartsWith(std::string_view text, size_t pos, const char* prefix) {
  return pos <= text.size() && text.compare(pos, std::strlen(prefix), prefix) == 0;
}

// A byte-order mark some writers put before the declaration.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// What one element costs beyond its tag and text: its record, and its key and place in the parent's lists.
constexpr size_t kElementBytes = sizeof(tXMLTree) + sizeof(std::string) + sizeof(void*);
// What one entry of a level's sibling counts costs beyond its name.
constexpr size_t kCountBytes = sizeof(std::string) + 4 * sizeof(void*);
// What one attribute costs beyond its text: its name and value records.
constexpr size_t kAttributeBytes = 2 * sizeof(std::string);

std::string_view TrimView(std::string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && IsBlank(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && IsBlank(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

bool IsAllBlank(std::string_view text) {
  return TrimView(text).empty();
}

// Position of "<!DOCTYPE" (any case), without an upper-cased copy of a document of megabytes.
size_t FindDoctype(std::string_view text) {
  static constexpr std::string_view kName = "DOCTYPE";
  for (size_t at = text.find("<!"); at != std::string_view::npos; at = text.find("<!", at + 1)) {
    if (text.size() - at - 2 < kName.size()) return std::string_view::npos;
    bool same = true;
    for (size_t i = 0; i < kName.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(text[at + 2 + i])) == kName[i];
    if (same) return at;
  }
  return std::string_view::npos;
}

// The end of a document type declaration starting at From: after the ">" that brings the count of nested
// "<" and ">" back to zero, or the end of the text.
size_t DoctypeEnd(std::string_view text, size_t from) {
  int depth = 1;
  size_t i = from + 1;
  for (; i < text.size() && depth > 0; ++i) {
    if (text[i] == '<') ++depth;
    if (text[i] == '>') --depth;
  }
  return i;
}

void AppendUTF8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
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
  if (ChildIndex) ChildIndex->emplace(LowerCase(key), Children.size());
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
  if (!ChildIndex) {
    ChildIndex = std::make_unique<std::unordered_map<std::string, size_t>>();
    for (size_t i = 0; i < ChildNames.size(); ++i) ChildIndex->emplace(LowerCase(ChildNames[i]), i);
  }
  auto it = ChildIndex->find(LowerCase(key));
  return it == ChildIndex->end() ? nullptr : Children[it->second].get();
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

  Elements = 0;
  TreeBytes = 0;
  Refused = false;
  Charge(document.size());  // the caller holds it while the tree grows

  // The body is read where it stands in the caller's document; only a shape that needs cutting in the middle
  // (text before the declaration, a document type declaration after content) is read from a copy. An
  // unterminated declaration swallows the rest of the document: nothing is left to read.
  std::string_view whole(document);
  std::string_view prefix = whole.substr(0, start);
  if (prefix.substr(0, kByteOrderMark.size()) == kByteOrderMark) prefix.remove_prefix(kByteOrderMark.size());
  std::string_view body = close == std::string::npos ? std::string_view() : whole.substr(close + 2);
  std::string copy;
  std::string_view text = body;
  if (!IsAllBlank(prefix)) {
    if (!Charge(start + body.size())) return false;
    copy = std::string(whole.substr(0, start)) + std::string(body);
    text = copy;
  }
  // Remove a document type declaration with its internal subset, counting nested "<" and ">".
  size_t doctype = FindDoctype(text);
  if (doctype != std::string_view::npos) {
    size_t end = DoctypeEnd(text, doctype);
    if (IsAllBlank(text.substr(0, doctype))) {
      text.remove_prefix(end);
    } else {
      if (copy.empty() && !Charge(text.size())) return false;
      std::string cut = std::string(text.substr(0, doctype)) + std::string(text.substr(end));
      copy = std::move(cut);
      text = copy;
    }
  }

  text = TrimView(text);
  EscapeBudget = text.size() + kMinEscapeBudget;
  for (size_t& missing : MissingFrom) missing = std::string::npos;
  Doc = text;
  Pos = 0;
  if (!Refused) ReadElement(*Root, 0);
  Doc = {};
  if (Refused) {
    Reset();
    return false;
  }
  return true;
}

bool tXMLParser::Charge(size_t bytes) {
  TreeBytes += bytes;
  if (TreeBytes > kMaxTreeBytes) Refused = true;
  return !Refused;
}

size_t tXMLParser::FindEnd(int marker, const char* end, size_t from) {
  // Once an end marker is missing after some position it is missing after every later one: remembering that
  // keeps a document full of unclosed sections from being searched to its end again and again.
  size_t& missingFrom = MissingFrom[marker];
  if (from >= missingFrom) return std::string::npos;
  size_t at = Doc.find(end, from);
  if (at == std::string::npos) missingFrom = from;
  return at;
}

void tXMLParser::ReadElement(tXMLTree& node, int depth) {
  const std::string_view text = Doc;
  node.Text.clear();
  // Sibling counts by lower-cased name; a hash instead of a list so that many distinct names stay linear.
  std::unordered_map<std::string, int32_t> counts;
  size_t countBytes = 0;
  struct tGiveBack {
    size_t& Total;
    const size_t& Bytes;
    ~tGiveBack() { Total -= Bytes; }
  } giveBack{TreeBytes, countBytes};
  while (Pos < text.size() && !Refused) {
    size_t lt = text.find('<', Pos);
    if (lt == std::string::npos) return;
    std::string_view run = TrimView(text.substr(Pos, lt - Pos));
    if (!Charge(run.size())) return;
    node.Text += run;
    Pos = lt + 1;
    while (Pos < text.size() && IsBlank(static_cast<unsigned char>(text[Pos]))) ++Pos;

    if (StartsWith(text, Pos, "![CDATA[")) {
      size_t end = FindEnd(kCDataEnd, "]]>", Pos + 8);
      if (end != std::string::npos) {
        std::string content(TrimView(text.substr(Pos + 8, end - Pos - 8)));
        const size_t before = node.Text.size();
        // Each section escapes the element's earlier text once more. Within a budget that is what happens; a
        // hostile run of sections beyond it would grow the text quadratically, so only the new content is
        // escaped then.
        if (node.Text.size() <= EscapeBudget) {
          EscapeBudget -= node.Text.size();
          node.Text = XMLEscape(node.Text + content);
        } else {
          node.Text += XMLEscape(content);
        }
        if (node.Text.size() > before && !Charge(node.Text.size() - before)) return;
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
      std::string tag(text.substr(Pos, gt == std::string::npos ? std::string::npos : gt - Pos));
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
      // Counted before the attributes are made: every "=" can become a pair of records.
      const size_t pairs = static_cast<size_t>(std::count(tag.begin(), tag.end(), '='));
      if (++Elements > kMaxElements || !Charge(kElementBytes + tag.size() + pairs * kAttributeBytes)) {
        Refused = true;
        return;
      }
      if (blank != std::string::npos) child->Attributes.ParseAttributes(tag.substr(blank + 1));
      auto [count, added] = counts.try_emplace(LowerCase(name), 0);
      // The sibling count lives while this level reads: charged now, given back at its end.
      if (added) {
        countBytes += kCountBytes + name.size();
        if (!Charge(kCountBytes + name.size())) return;
      }
      int32_t index = count->second++;
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
        // Bytes beyond ASCII stay: they are UTF-8 (or another code page) and read back as they were.
        if (c < 32) {
          out += "&#" + std::to_string(c) + ";";
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string XMLUnescape(const std::string& text) {
  static const struct {
    const char* Name;
    char Char;
  } kNamed[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  // Enough for U+10FFFF in decimal; a longer run of digits is no reference.
  constexpr size_t kMaxDigits = 7;
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '&') {
      size_t amp = text.find('&', i);
      if (amp == std::string::npos) amp = text.size();
      out.append(text, i, amp - i);
      i = amp;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '#') {
      const bool hex = i + 2 < text.size() && text[i + 2] == 'x';
      const size_t first = i + 2 + (hex ? 1 : 0);
      size_t end = first;
      while (end < text.size() && end - first <= kMaxDigits &&
             (hex ? std::isxdigit(static_cast<unsigned char>(text[end])) != 0
                  : (text[end] >= '0' && text[end] <= '9')))
        ++end;
      const size_t digits = end - first;
      if (digits > 0 && digits <= kMaxDigits && end < text.size() && text[end] == ';') {
        uint32_t code = static_cast<uint32_t>(std::stoul(text.substr(first, digits), nullptr, hex ? 16 : 10));
        // Surrogates and numbers beyond Unicode name no character.
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
        AppendUTF8(out, code);
        i = end + 1;
        continue;
      }
    } else {
      bool replaced = false;
      for (const auto& named : kNamed) {
        const size_t len = std::strlen(named.Name);
        if (text.size() - i >= len && SameText(text.substr(i, len), named.Name)) {
          out += named.Char;
          i += len;
          replaced = true;
          break;
        }
      }
      if (replaced) continue;
    }
    out += text[i++];
  }
  return out;
}

}  // namespace ktv
