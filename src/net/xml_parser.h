// The program's small, forgiving XML reader: a whole document in memory becomes a tree of elements, read back
// by dotted paths such as "dir.station{3}.servers.url{0}" or "playlist[version]".
//
// It validates almost nothing on purpose: the directory server, the channel list and XSPF files in the wild
// are read as they come. Text is 8-bit and passes through unchanged. What it does bound is the tree: a small
// compressed cache can inflate to millions of tiny elements, each costing far more memory than its bytes, so
// a document whose tree outgrows kMaxElements or kMaxTreeBytes is refused as a whole.
//
// Thread contract: none of these objects is shared; each belongs to the thread that made it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/text.h"

namespace ktv {

// String-to-string list, names compared without regard to ASCII case; the first match wins.
class tParamList {
 public:
  std::vector<std::string> Names;
  std::vector<std::string> Values;  // parallel to Names

  void Clear();
  // The value of the name, or empty.
  std::string Get(const std::string& name) const;
  // Replaces the value of an existing name or appends a new pair.
  void Set(const std::string& name, const std::string& value);
  // Clears the list and fills it from attribute text (name="value" name2=value2 ...).
  void ParseAttributes(const std::string& text);
  int Find(const std::string& name) const;
};

// One element.
class tXMLTree {
 public:
  // One key per child in document order: tag name + "{" + index among earlier same-named siblings + "}".
  std::vector<std::string> ChildNames;
  tParamList Attributes;                            // values as written (entity references not decoded)
  std::vector<std::unique_ptr<tXMLTree>> Children;  // parallel to ChildNames
  std::string Text;  // every text run between the element's tags, each trimmed, concatenated

  void AddChild(const std::string& key, std::unique_ptr<tXMLTree> child);
  // The child under a key (ASCII case ignored), or null.
  tXMLTree* FindChild(const std::string& key) const;

 private:
  static constexpr size_t kScanLimit = 16;
  // Lower-cased key to position, made on the first look-up among more than kScanLimit children, so a look-up
  // by index among thousands of stations stays cheap. Behind a pointer: most elements never need one, and an
  // empty map in every element would be a quarter of the tree.
  mutable std::unique_ptr<std::unordered_map<std::string, size_t>> ChildIndex;
};

class tXMLParser {
 public:
  // Elements in one tree at most: the public Icecast listing runs to about ten thousand entries of nine
  // elements each.
  static constexpr size_t kMaxElements = 250000;
  // Memory one read may take, as the reader counts it: the document itself (the caller holds it meanwhile),
  // any working copy of it, and each element's record, key, attributes and text. A real listing of several
  // megabytes needs about 35 MiB; the whole read stays well under 64 MiB whatever the document.
  static constexpr size_t kMaxTreeBytes = 48u << 20;

  tXMLParser();
  ~tXMLParser();
  tXMLParser(const tXMLParser&) = delete;
  tXMLParser& operator=(const tXMLParser&) = delete;

  // Replaces the tree with the one read from the document. True when an XML declaration ("<?xml ") starts
  // within the first 99 characters and the body was read; false otherwise, leaving an empty tree. A tree that
  // would outgrow kMaxElements or kMaxTreeBytes is refused the same way (false, empty tree).
  bool Parse(const std::string& document);
  // Text of the element named by the path, or the attribute value for a path ending in "[name]"; empty when
  // the element or attribute does not exist or the path is malformed.
  std::string GetValue(const std::string& path);
  // Whether the element named by the path exists (an attribute suffix is ignored).
  bool Exists(const std::string& path);

  std::unique_ptr<tXMLTree> Root;  // holds the top-level element(s) as children
  std::string Version = "1.0";
  std::string Encoding = "ISO-8859-1";
  // Off in the program's readers: they receive values with entity references exactly as written.
  bool DecodeEntities = false;

 private:
  void Reset();
  void ReadElement(tXMLTree& node, int depth);
  // Counts memory against kMaxTreeBytes; false (and the read refused) once the budget is spent.
  bool Charge(size_t bytes);
  // Finds the element of a path; false for a malformed path. Attribute receives the bracketed name, if any.
  bool Lookup(const std::string& path, tXMLTree*& node, std::string& attribute, bool& wantsAttribute);

  // The document being read and the reading position in it (valid during Parse only).
  std::string_view Doc;
  size_t Pos = 0;
  size_t EscapeBudget = 0;
  size_t Elements = 0;
  size_t TreeBytes = 0;
  bool Refused = false;
  // Per end marker ("]]>", "-->", "?>"): the position from which it is known to be missing.
  enum { kCDataEnd, kCommentEnd, kInstructionEnd };
  size_t MissingFrom[3] = {};
  size_t FindEnd(int marker, const char* end, size_t from);

  // One-entry cache of the last element path and the node it found.
  std::string LastPath;
  tXMLTree* LastNode = nullptr;
};

// "<", ">", "&", the double quote and the apostrophe as named references, bytes below 32 as "&#" + decimal +
// ";"; every other byte as it is (bytes of UTF-8 or another code page pass through).
std::string XMLEscape(const std::string& text);
// One pass from left to right: the five named references (any case) and character references ("&#65;",
// "&#x41;", at most seven digits) are replaced; what a replacement produced is never read again. A character
// reference below 128 gives that byte, one above gives the character in UTF-8 (U+FFFD for a number that is
// no character). Anything else, a lone "&" included, stays as written.
std::string XMLUnescape(const std::string& text);

}  // namespace ktv
