#include "net/xml_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace ktv {
namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

TEST(XMLParser, DeclarationDecidesTheResult) {
  struct Row {
    std::string Doc;
    bool Parsed;
    const char* Note;
  } rows[] = {
      {kDecl + "<a>x</a>", true, "plain document"},
      {"<?XML VERSION=\"2\"?><a>x</a>", true, "upper-case declaration accepted"},
      {"<a>x</a>", false, "no declaration at all"},
      {std::string(98, ' ') + "<?xml ?><a>x</a>", true, "\"<?\" at character 99 is still within the window"},
      {std::string(99, ' ') + "<?xml ?><a>x</a>", false, "\"<?\" at character 100 is too late"},
      {"<?xml-stylesheet href=\"a\"?><a>x</a>", false, "a stylesheet instruction is no declaration"},
      {"<?xml?><a>x</a>", false, "the blank after xml is required"},
      {"<?xml version=\"1.0\"", true, "unterminated declaration: nothing left, but no crash"},
  };
  for (const Row& row : rows) {
    tXMLParser p;
    EXPECT_EQ(p.Parse(row.Doc), row.Parsed) << row.Note;
    if (row.Parsed) continue;
    EXPECT_TRUE(p.Root->Children.empty()) << row.Note;
    EXPECT_EQ(p.GetValue("a"), "") << row.Note;
  }
}

TEST(XMLParser, DeclarationAttributesAndReset) {
  tXMLParser p;
  ASSERT_TRUE(p.Parse("<?xml version=\"1.1\" encoding=\"windows-1252\"?><a>x</a>"));
  EXPECT_EQ(p.Version, "1.1");
  EXPECT_EQ(p.Encoding, "windows-1252");
  EXPECT_EQ(p.GetValue("a"), "x");
  // A second parse starts over: the old tree and the cached node are gone, missing attributes give empty.
  ASSERT_TRUE(p.Parse("<?xml standalone=\"yes\"?><b>y</b>"));
  EXPECT_EQ(p.Version, "");
  EXPECT_EQ(p.Encoding, "");
  EXPECT_EQ(p.GetValue("a"), "");
  EXPECT_EQ(p.GetValue("b"), "y");
  EXPECT_FALSE(p.Parse("no xml"));
  EXPECT_EQ(p.Version, "1.0");
  EXPECT_EQ(p.Encoding, "ISO-8859-1");
  EXPECT_EQ(p.GetValue("b"), "");
}

TEST(XMLParser, BodyReading) {
  struct Row {
    std::string Body;
    std::string Path;
    std::string Expected;
    const char* Note;
  } rows[] = {
      {"<dir><station>A</station><station>B</station><station>C</station></dir>", "dir.station{2}", "C",
       "repeated elements are numbered"},
      {"<dir><station>A</station><station>B</station></dir>", "dir.station", "A", "no index means {0}"},
      {"<DIR><Station>A</Station><STATION>B</STATION></DIR>", "dir.STATION{1}", "B",
       "tags and path compare without case; counts too"},
      {"<a>Hello<b/>World</a>", "a", "HelloWorld", "text runs are concatenated without separator"},
      {"<a>  Hello \n <b/>\t World  </a>", "a", "HelloWorld", "each run is trimmed"},
      {"<a><![CDATA[x<y]]></a>", "a", "x&lt;y", "CDATA is stored escaped"},
      {"<a>p&q<![CDATA[r]]></a>", "a", "p&amp;qr", "CDATA escapes the text read before it as well"},
      {"<a><![CDATA[x<y</a>", "a", "x", "unclosed CDATA is skipped over as a marker"},
      {"<a>1<!-- <b>no</b> -->2</a>", "a", "12", "comments are skipped"},
      {"<a>1<?pi stuff?>2</a>", "a", "12", "processing instructions are skipped"},
      {"<a><b>x</c>y</a>", "a", "y", "a wrong closing tag still closes the element"},
      {"<a><b>x</b></a><c>z</c>", "c", "z", "further top-level elements are children of the root"},
      {"<a>x</a></z><c>z</c>", "c", "", "a stray closing tag at the top level ends the parse"},
      {"<a><b>x<c>y", "a.b", "x", "unclosed elements end with the text"},
      {"<a>x</a>trailing", "a", "x", "text after the last tag is dropped"},
      {"<a\tk=\"v\">x</a>", "a", "", "only the blank separates the name: a tab stays in it"},
      {"<!DOCTYPE a [ <!ENTITY e \"v\"> <!ELEMENT a ANY> ]><a>x</a>", "a", "x",
       "DOCTYPE with an internal subset is removed whole"},
      {"<a><b c=\"1\"/><b c=\"2\"/></a>", "a.b{1}[c]", "2", "attributes of empty elements"},
      {"<a href=\"x&amp;y\"/>", "a[href]", "x&amp;y", "attribute values are not decoded"},
      {"<a x='1'/>", "a[x]", "'1'", "single quotes have no meaning"},
      {"<a x=1 y=2/>", "a[y]", "2", "unquoted values end at a blank"},
      {"<a>é&#233;</a>", "a", "é&#233;", "8-bit text passes through"},
  };
  for (const Row& row : rows) {
    tXMLParser p;
    ASSERT_TRUE(p.Parse(kDecl + row.Body)) << row.Note;
    EXPECT_EQ(p.GetValue(row.Path), row.Expected) << row.Note;
  }
}

TEST(XMLParser, ChildKeysAndAttributes) {
  tXMLParser p;
  ASSERT_TRUE(p.Parse(kDecl + "<r><s/><t/><S/><s a = \"q\" b=\"w\"/></r>"));
  ASSERT_EQ(p.Root->ChildNames.size(), 1u);
  tXMLTree& r = *p.Root->Children[0];
  EXPECT_EQ(r.ChildNames, (std::vector<std::string>{"s{0}", "t{0}", "S{1}", "s{2}"}));
  // Blanks around "=": the name keeps its trailing blank, gets an empty value, and the quoted value becomes
  // part of the next name.
  const tParamList& attrs = r.Children[3]->Attributes;
  EXPECT_EQ(attrs.Names, (std::vector<std::string>{"a ", "\"q\" b"}));
  EXPECT_EQ(attrs.Values, (std::vector<std::string>{"", "w"}));
}

TEST(XMLParser, LookupsAndCache) {
  tXMLParser p;
  ASSERT_TRUE(p.Parse(kDecl + "<dir><station id=\"1\"><servers><url>u0</url><url>u1</url></servers></station>"
                              "<station id=\"2\">two</station></dir>"));
  struct Row {
    std::string Path;
    std::string Value;
    bool Exists;
    const char* Note;
  } rows[] = {
      {"dir.station{0}.servers.url{1}", "u1", true, "deep path with indexes"},
      {"dir.station{0}[id]", "1", true, "attribute of an element"},
      {"dir.station{0}[ID]", "1", true, "attribute names ignore case"},
      {"dir.station{0}[missing]", "", true, "missing attribute: element still exists"},
      {"dir.station{1}[id]", "2", true, "cache must not answer for another element path"},
      {"dir.station{1}", "two", true, "same element path as the cached one, no attribute"},
      {" .dir..station{1} ", "two", true, "blanks around and leading dots of steps are ignored"},
      {"dir.station{2}", "", false, "past the last sibling"},
      {"dir.nothing", "", false, "missing element"},
      {"[id]", "", true, "an attribute of the root, which has none"},
      {"dir.station{x}", "", false, "malformed: index not a number"},
      {"dir.station{1", "", false, "malformed: unclosed index"},
      {"dir.station{-1}", "", false, "malformed: negative index"},
      {"dir.station{99999999999}", "", false, "malformed: index too long"},
      {"dir.station{0}[id", "", false, "malformed: unclosed attribute"},
      {"dir.station{0}[id]x", "", false, "malformed: text after the attribute"},
      {"dir.{0}", "", false, "malformed: index without a name"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(p.GetValue(row.Path), row.Value) << row.Note;
    EXPECT_EQ(p.Exists(row.Path), row.Exists) << row.Note;
  }
}

TEST(XMLParser, DecodeEntitiesOnlyWhenAsked) {
  tXMLParser p;
  ASSERT_TRUE(p.Parse(kDecl + "<a t=\"1&lt;2\">R&amp;B</a>"));
  EXPECT_EQ(p.GetValue("a"), "R&amp;B");
  p.DecodeEntities = true;
  EXPECT_EQ(p.GetValue("a"), "R&B");
  EXPECT_EQ(p.GetValue("a[t]"), "1<2");
}

TEST(XMLParser, DeepNestingIsBounded) {
  // Far deeper than the reader descends: must neither overflow the stack nor lose the document's end.
  std::string body;
  for (int i = 0; i < 100000; ++i) body += "<a>";
  tXMLParser p;
  ASSERT_TRUE(p.Parse(kDecl + body + "x"));
  std::string path = "a";
  for (int i = 1; i < 200; ++i) path += ".a";
  EXPECT_TRUE(p.Exists(path));
}

TEST(XMLParser, HostileShapesStayLinear) {
  // Each of these took time or memory growing with the square of the input before it was bounded; at this
  // size (within the tree's bounds) a quadratic reader would not finish within the test time-out.
  std::string siblings, attributes, sections;
  for (int i = 0; i < 100000; ++i) siblings += "<n" + std::to_string(i) + "/>";
  for (int i = 0; i < 100000; ++i) attributes += " a" + std::to_string(i) + "=1";
  for (int i = 0; i < 100000; ++i) sections += "<![CDATA[&]]>";
  std::string unclosed;
  for (int i = 0; i < 100000; ++i) unclosed += "<?pi <!-- <![CDATA[ ";
  tXMLParser p;
  ASSERT_TRUE(p.Parse(kDecl + "<r>" + siblings + "<t" + attributes + "/><c>" + sections + "</c><u>" +
                      unclosed + "</u></r>"));
  EXPECT_TRUE(p.Exists("r.u")) << "unclosed sections are skipped over, each searched for once";
  EXPECT_EQ(p.GetValue("r.n99999{0}"), "");
  EXPECT_TRUE(p.Exists("r.n99999"));
  EXPECT_EQ(p.GetValue("r.t[a99999]"), "1");
  std::string text = p.GetValue("r.c");
  EXPECT_EQ(text.substr(0, 9), "&amp;amp;") << "the first sections still escape the earlier text again";
  EXPECT_LT(text.size(), 20 * sections.size()) << "memory stays proportional to the document";
}

TEST(XMLParser, TreeIsBoundedInElementsAndBytes) {
  // A small compressed cache inflates to megabytes of tiny elements, each costing far more memory than its
  // bytes: past the bounds the whole document is refused, as a document without a declaration is.
  const auto repeat = [](const std::string& piece, size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) out += piece;
    return out;
  };
  const size_t elements = tXMLParser::kMaxElements;
  const struct {
    std::string Body;
    bool Read;
    const char* Note;
  } rows[] = {
      {"<r>" + repeat("<a/>", elements - 1) + "</r>", true, "exactly the most elements"},
      {"<r>" + repeat("<a/>", elements) + "</r>", false, "one element more"},
      {"<r>" + repeat("<a><b/></a>", elements) + "</r>", false, "nested elements count too"},
      {"<r " + repeat("=", 2u << 20) + "/>", false, "attribute records of one tag"},
      {"<r>" + repeat("x", tXMLParser::kMaxTreeBytes) + "</r>", false, "text alone beyond the bytes"},
      {"<r>" + repeat("<![CDATA[<]]>", 4u << 20) + "</r>", false, "escaped sections growing the text"},
      {"<r>" + repeat("<a>x</a>", 100000) + "</r>", true, "a listing-sized document"},
  };
  for (const auto& row : rows) {
    tXMLParser p;
    EXPECT_EQ(p.Parse(kDecl + row.Body), row.Read) << row.Note;
    EXPECT_EQ(p.Exists("r"), row.Read) << row.Note << ": a refused document leaves an empty tree";
  }
}

TEST(XMLParser, ByteOrderMarkAndBlankLinesBeforeTheDeclaration) {
  const struct {
    std::string Document;
    const char* Note;
  } rows[] = {
      {"\xEF\xBB\xBF" + kDecl + "<a>x</a>", "a UTF-8 byte-order mark"},
      {"\n\r\n  \n" + kDecl + "<a>x</a>", "blank lines"},
      {"\xEF\xBB\xBF\n\n" + kDecl + "<!DOCTYPE a [<!ENTITY e \"v\">]>\n<a>x</a>", "both, and a DOCTYPE"},
      {"junk <b/>" + kDecl + "<a>x</a>", "text before the declaration is still read from a copy"},
  };
  for (const auto& row : rows) {
    tXMLParser p;
    ASSERT_TRUE(p.Parse(row.Document)) << row.Note;
    EXPECT_EQ(p.GetValue("a"), "x") << row.Note;
  }
}

TEST(XMLEscapeAndUnescape, Tables) {
  EXPECT_EQ(XMLEscape("<a href=\"x\">'&'</a>"), "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt;");
  EXPECT_EQ(XMLEscape(std::string("\t\x7f\xc3\xa9", 4)), "&#9;\x7f\xc3\xa9") << "UTF-8 passes through";

  struct Row {
    std::string In, Out;
    const char* Note;
  } rows[] = {
      {"&#65;&#x42;", "AB", "decimal and lower-case x hexadecimal"},
      {"&#X42;", "&#X42;", "upper-case X is not hexadecimal"},
      {"&#00000065;", "&#00000065;", "more than seven digits is no reference"},
      {"&#0000065;", "A", "seven digits decode"},
      {"Caf&#233;", "Caf\xC3\xA9", "beyond ASCII in UTF-8, not a lone Latin-1 byte"},
      {"&#8217;&#x20AC;", "\xE2\x80\x99\xE2\x82\xAC", "beyond one byte, not its low 8 bits"},
      {"&#128512;", "\xF0\x9F\x98\x80", "beyond the first plane"},
      {"&#xD800;&#1114112;", "\xEF\xBF\xBD\xEF\xBF\xBD", "a surrogate and a number beyond Unicode"},
      {"&#;&#a;&#&#x;", "&#;&#a;&#&#x;", "empty, non-numeric and unterminated references stay"},
      {"&amp;lt;", "&lt;", "a replacement is not read again"},
      {"&#38;amp;", "&amp;", "nor is a character reference's"},
      {"&#38;lt;", "&lt;", "the same for any name after it"},
      {"&LT;&Gt;&QUOT;&apos;", "<>\"'", "named references ignore case"},
      {"a & b &am", "a & b &am", "a lone ampersand stays"},
  };
  for (const Row& row : rows) EXPECT_EQ(XMLUnescape(row.In), row.Out) << row.Note;
  for (const std::string& text : {std::string("a<b>&\"'\x01\xff", 9), std::string("&#233;&amp;")})
    EXPECT_EQ(XMLUnescape(XMLEscape(text)), text) << "escaping reads back as it was";
}

}  // namespace
}  // namespace ktv
