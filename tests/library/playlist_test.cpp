#include "library/playlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace ktv {
namespace {

// Location|Title|Duration of every entry, one string per entry: compact to compare in tables.
std::vector<std::string> Summary(const tPlaylist& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i)
    out.push_back(list[i].Location + "|" + list[i].Title + "|" + std::to_string(list[i].Duration));
  return out;
}

TEST(Playlist, TextFormats) {
  struct Row {
    std::string Text;
    std::vector<std::string> Entries;
    const char* Note;
  } rows[] = {
      // M3U
      {"http://a/1.ogg\r\n\r\nhttp://a/2.ogg\r\n",
       {"http://a/1.ogg||-1", "||-1", "http://a/2.ogg||-1"},
       "a blank line is an entry with an empty location"},
      {"#EXTM3U\n#EXTINF:123, Song One \n#comment\n http://a/1.ogg \nhttp://a/2.ogg",
       {"http://a/1.ogg|Song One|123", "http://a/2.ogg||-1"},
       "EXTINF applies to the next location only; comments keep it pending; locations trimmed"},
      {"#extinf:abc,T\nx\n#EXTINF:77\ny",
       {"x|T|-1", "y||-1"},
       "bad length falls back to -1; EXTINF without comma changes nothing"},
      {"a\rb\nc\r\nd", {"a||-1", "b||-1", "c||-1", "d||-1"}, "CR, LF and CR LF all break lines"},
      {"#EXTINF:-5,Neg\nz", {"z|Neg|-5"}, "negative length is a number"},
      // PLS
      {"; comment\n[playlist]\nNumberOfEntries=3\nFile1=http://s/1\nTitle1=One\nLength1=-1\n"
       "File2=http://s/2\nTitle2=Two\nFile3=http://s/3\nLength3=60\n",
       {"http://s/1|One|-1", "http://s/3||60"},
       "header on second line; -1 length kept; no length drops entry"},
      {"[playlist]\nnumberofentries=1\nfile1 = http://x\nfile1=http://y\nlength1=5\n",
       {"http://y||5"},
       "keys ignore case; a blank before = does not match"},
      {"[playlist]\nNumberOfEntries=2\nFile1=a\nLength1=1\n[other]\nFile2=b\nLength2=2\n",
       {"a||1"},
       "the section ends at the next [ header"},
      {"[playlist]\nNumberOfEntries=2\nFile1=\nLength1=1\nFile2=b\nLength2=x\n",
       {},
       "empty file / bad length"},
      {"[playlist]\nNumberOfEntries=9999999999\nFile1=a\nLength1=1\n",
       {"a||1"},
       "a huge count does not hang"},
      {"[playlist]\nNumberOfEntries=many\nFile1=a\nLength1=1\n", {}, "no count, no entries"},
      // XSPF
      {"<?xml version=\"1.0\"?>\n<playlist><trackList><track><location>l0</location></track>"
       "<track><location>l1</location></track><track><location>l2</location></track></trackList></playlist>",
       {"l0||0", "l1||0", "l2||0"},
       "three tracks without durations: duration 0"},
      {"<html><head><?xml version=\"1.0\"?></head><body>http://a</body></html>",
       {},
       "an HTML page with <?xml is read as XML and yields nothing"},
      {"<?xml "
       "version=\"1.0\"?><playlist><tracklist><track><location>a&amp;b</location><duration>12x</duration>"
       "</track><track><duration>99999999999</duration></track></tracklist></playlist>",
       {"a&amp;b||0", "||0"},
       "entities kept as written; invalid and out-of-range durations give 0"},
  };
  for (const Row& row : rows) {
    tPlaylist list;
    list.LoadFromText(row.Text);
    EXPECT_EQ(Summary(list), row.Entries) << row.Note;
  }
}

TEST(Playlist, XSPFFillsGapsFromTheList) {
  tPlaylist list;
  list.LoadFromText(
      "<?xml version=\"1.0\"?><playlist><title>List T</title><annotation>List A</annotation><info>List "
      "I</info>"
      "<trackList><track><title>Own</title><genre>Jazz</genre><duration>300</duration></track>"
      "<track><annotation>A2</annotation><info>I2</info></track></trackList></playlist>");
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0].Title, "Own");
  EXPECT_EQ(list[0].Annotation, "List A");
  EXPECT_EQ(list[0].Info, "List I");
  EXPECT_EQ(list[0].Genre, "Jazz");
  EXPECT_EQ(list[0].Duration, 300);
  EXPECT_EQ(list[1].Title, "List T");
  EXPECT_EQ(list[1].Annotation, "A2");
  EXPECT_EQ(list[1].Info, "I2");
}

TEST(Playlist, LoadFromLinesWithoutLinesKeepsTheList) {
  tPlaylist list;
  list.LoadFromText("a\nb");
  list.LoadFromLines({});
  EXPECT_EQ(list.Count(), 2);
  list.LoadFromText("");
  EXPECT_EQ(list.Count(), 0);
}

TEST(Playlist, Files) {
  test::tTempDir dir;
  std::string m3u = dir.File("list.m3u");
  ASSERT_TRUE(test::WriteFile(m3u, "#EXTM3U\n#EXTINF:10,T\nhttp://h/x.ogg\n"));
  tPlaylist list;
  EXPECT_TRUE(list.LoadFromFile(m3u));
  EXPECT_EQ(Summary(list), std::vector<std::string>{"http://h/x.ogg|T|10"});

  std::string ogg = test::MakeMedia({"--seconds", "0.2", "--no-video"});
  ASSERT_FALSE(ogg.empty());
  EXPECT_FALSE(list.LoadFromFile(ogg)) << "an Ogg file is no playlist";
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0].Location, ogg);
  EXPECT_EQ(list[0].Title, "");
  EXPECT_EQ(list[0].Duration, -1);

  struct Row {
    std::string Name;
    const char* Note;
  } bad[] = {{dir.File("missing.m3u"), "missing file"}, {dir.File("short.m3u"), "shorter than four bytes"}};
  ASSERT_TRUE(test::WriteFile(dir.File("short.m3u"), "ab"));
  for (const Row& row : bad) {
    list.LoadFromText("x");
    EXPECT_FALSE(list.LoadFromFile(row.Name)) << row.Note;
    EXPECT_EQ(list.Count(), 0) << row.Note;
  }
}

TEST(Playlist, SingleEntry) {
  test::tTempDir dir;
  std::string local = dir.File("clip.ogg");
  ASSERT_TRUE(test::WriteFile(local, "OggS"));
  struct Row {
    std::string Name, Title, Annotation;
    const char* Note;
  } rows[] = {
      {"http://host/live.ogg", "//host/live.ogg", "Ogg File", "URL keeps what follows the scheme's colon"},
      {"file:///tmp/a.ogg", "///tmp/a.ogg", "Local File", "file:// in any case is local"},
      {"C:\\media\\b.ogg", "b.ogg", "Ogg File", "after the last backslash"},
      {local, "clip.ogg", "Local File", "an existing file shows its file name"},
  };
  for (const Row& row : rows) {
    tPlaylist list;
    list.SetSingleEntry(row.Name);
    ASSERT_EQ(list.Count(), 1) << row.Note;
    EXPECT_EQ(list[0].Location, row.Name) << row.Note;
    EXPECT_EQ(list[0].Title, row.Title) << row.Note;
    EXPECT_EQ(list[0].Annotation, row.Annotation) << row.Note;
    EXPECT_EQ(list[0].Duration, -1) << row.Note;
  }
}

}  // namespace
}  // namespace ktv
