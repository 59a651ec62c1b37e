#include "ui/directory_form.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "library/playlist.h"
#include "support/qt/qt_test_support.h"
#include "support/script_server.h"
#include "support/yp_listing.h"
#include "ui/download_watch.h"
#include "ui/kestrova_button.h"
#include "ui/link.h"
#include "ui/modal_user.h"
#include "ui/my_message_box.h"
#include "ui/report_rows.h"
#include "ui/temp_settings.h"

namespace ktv {
namespace {

using Names = std::vector<std::string>;

const std::string kDirectoryXML =
    "<?xml version=\"1.0\"?>\n<dir>\n"
    " <station><name>TV One</name><description>News</description><genre>Talk</genre>"
    "<url>http://one.example/</url><bitrate>300</bitrate><playing>Headlines</playing><listeners>12</"
    "listeners>"
    "<capacity>100</capacity><codecs>Vorbis Theora</codecs><servers><url>http://s.example/1</url>"
    "<url>http://s.example/2</url><url>http://s.example/3</url></servers></station>\n"
    " <station><name>Jazz FM</name><genre>Smooth Jazz</genre><bitrate>96</bitrate><playing>Take "
    "Five</playing>"
    "<listeners>120</listeners><capacity>200</capacity><codecs>Vorbis</codecs>"
    "<servers><url>http://jazz.example/live</url></servers></station>\n"
    " <station><name>Kids</name><genre>Children</genre><bitrate>x</bitrate><playing>Cartoons</playing>"
    "<listeners>7</listeners><capacity>50</capacity><codecs>theora</codecs>"
    "<servers><url>http://kids.example/live</url></servers></station>\n"
    " <station><name>Radio Talk</name><genre>Talk</genre>"
    "<servers><url>http://talk.example/live</url></servers></station>\n"
    " <station><name>alpha TV</name><genre>Film</genre><bitrate>1000</bitrate><listeners>x</listeners>"
    "<capacity>5</capacity><codecs>THEORA</codecs><servers><url>http://alpha.example/live</url></servers>"
    "</station>\n"
    "</dir>\n";

const std::string kChannelXML =
    "<?xml version=\"1.0\"?>\n<dir>\n"
    " <station><name>Kestrova One</name><description>Music all day</description><genre>Jazz</genre>"
    "<url>http://kestrova.example/one</url><servers><url>http://k.example/one</url></servers></station>\n"
    " <station><name>Kestrova Two</name><description>All jazz, all night</description><genre>News</genre>"
    "<url>http://kestrova.example/two</url><servers><url>http://k.example/two</url></servers></station>\n"
    "</dir>\n";

const std::string& kIcecastListing = test::MixedYPListing();

// The document as one zlib stream (qCompress puts the length in four bytes before it).
std::string Zlib(const std::string& text) {
  return QByteArray(qCompress(QByteArray::fromStdString(text))).mid(4).toStdString();
}

test::tScript Serving(const std::string& document) {
  return {test::ReadRequest(), test::Send("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n" + document),
          test::Close()};
}

using test::ClickRow;
using test::Column;

std::string SelectedName(const QAbstractItemView* view) {
  const int row = test::SelectedIndex(view);
  return row < 0 ? "" : test::Cell(view, row, 0);
}

void ClickCategory(TfmDirectory& form, int category) {
  QTreeWidgetItem* node = form.Tree->topLevelItem(category);
  QTest::mouseClick(form.Tree->viewport(), Qt::LeftButton, {}, form.Tree->visualItemRect(node).center());
}

void ClickRowNamed(QAbstractItemView* view, const std::string& name) {
  for (int i = 0; i < test::RowCount(view); ++i)
    if (test::Cell(view, i, 0) == name) return ClickRow(view, i);
  ADD_FAILURE() << "no row " << name;
}

void ClickHeader(QTreeView* view, int section) {
  QHeaderView* header = view->header();
  const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                  header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// A row's cells after the name, joined by "|".
std::string RowText(const QAbstractItemView* view, int row) {
  std::string text = test::Cell(view, row, 1);
  for (int column = 2; column < 6; ++column) text += "|" + test::Cell(view, row, column);
  return text;
}

// The addresses "Play Selection" puts into the playlist for a row.
Names PlayedRow(TfmDirectory& form, int row) {
  ClickRow(form.Views, row);
  tPlaylist playlist;
  form.Target = &playlist;
  QTest::mouseClick(form.btnPlay, Qt::LeftButton);
  Names locations;
  for (const tPlayListEntry& entry : playlist.Items) locations.push_back(entry.Location);
  return locations;
}

tRecentPlaylistEntry Station(const std::string& name, const std::string& url, const std::string& genre = "") {
  tRecentPlaylistEntry station;
  station.Name = name;
  station.Genre = genre;
  station.Description = name + " described";
  station.URLs = {url};
  station.Viewers = "3/10";
  station.OnNow = "Something";
  return station;
}

tPlayListEntry Played(const std::string& location, const std::string& title) {
  tPlayListEntry entry;
  entry.Location = location;
  entry.Title = title;
  return entry;
}

// The two list servers, a cache folder, a settings store of the test's own with two bookmarks and one recent
// station, and every message box recorded instead of shown.
class Directory : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxHandler([this](const QString& text, const QString& caption, int flags) {
      Boxes.push_back((caption + "|" + text).toStdString());
      BoxFlags.push_back(flags);
      return IDNO;
    });
    Record = Config.Load();
    Record->AddToBookmarks(Station("Bookmark B", "http://b.example/live", "Rock"));
    Record->AddToBookmarks(Station("bookmark a", "http://a.example/live", "Pop"));
    tPlaylist played;
    played.Add(Played("http://recent.example/live", "Recent One"));
    Record->AddPlaylistToRecent(played);
    Serve(Zlib(kDirectoryXML), kChannelXML);
    IcecastServer = std::make_unique<test::tScriptServer>(Serving(kIcecastListing));
    Record->IcecastDirectory = IcecastServer->URL("/yp.xml");
  }
  void TearDown() override { SetMessageBoxHandler({}); }

  void Serve(const std::string& directory, const std::string& channels) {
    Serve(Serving(directory), Serving(channels));
  }
  void Serve(const test::tScript& directory, const test::tScript& channels) {
    DirectoryServer = std::make_unique<test::tScriptServer>(directory);
    ChannelServer = std::make_unique<test::tScriptServer>(channels);
    Record->DirectoryServer = DirectoryServer->URL("");
    Record->WebSite = ChannelServer->URL("");
  }

  // A directory window on the test's settings and cache, shown.
  std::unique_ptr<TfmDirectory> Open() {
    auto form = std::make_unique<TfmDirectory>(nullptr, *Record, Cache->Path() + "/");
    form->show();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    return form;
  }

  test::tTempSettings Config;
  std::unique_ptr<test::tTempDir> Cache = std::make_unique<test::tTempDir>();
  std::unique_ptr<tPlayerSettings> Record;
  std::unique_ptr<test::tScriptServer> DirectoryServer, ChannelServer, IcecastServer;
  std::vector<std::string> Boxes;
  std::vector<int> BoxFlags;
};

TEST_F(Directory, EachCategoryListsItsStations) {
  auto form = Open();
  QTreeView* views = form->Views;
  EXPECT_EQ(form->Category(), dcBookmarks) << "the window opens on the bookmarks";
  EXPECT_EQ(form->Tree->currentItem()->text(0), "Your Bookmarks");
  EXPECT_EQ(Column(views, 0), (Names{"bookmark a", "Bookmark B"}));
  EXPECT_EQ(Column(views, 1), (Names{"bookmark a described", "Bookmark B described"}));
  EXPECT_EQ(Column(views, 3), (Names{"", ""})) << "a bookmark keeps no listener count";
  EXPECT_EQ(test::Title(views, 1), "Description");
  test::SaveScreenshot(form->grab().toImage(), "directory_bookmarks");

  ClickCategory(*form, dcKestrovaTV);
  EXPECT_EQ(Column(views, 0), (Names{"Kestrova One", "Kestrova Two"}));
  EXPECT_EQ(Column(views, 1), (Names{"Music all day", "All jazz, all night"}));
  EXPECT_EQ(Column(views, 5), (Names{"Video", "Video"}));
  EXPECT_EQ(test::Title(views, 1), "Description");
  EXPECT_TRUE(form->VisLink->isVisible());
  EXPECT_FALSE(form->visStreams->isVisible());

  ClickCategory(*form, dcDirectoryTV);
  EXPECT_EQ(Column(views, 0), (Names{"alpha TV", "Kids", "TV One (News)"})) << "names sorted ignoring case";
  EXPECT_EQ(test::Title(views, 1), "Now Playing");
  EXPECT_EQ(RowText(views, 2), "Headlines|Talk|12/100|300|Vorbis Theora");
  EXPECT_FALSE(form->VisLink->isVisible());
  EXPECT_TRUE(form->visStreams->isVisible());
  ClickRowNamed(views, "TV One (News)");
  test::RunEvents(50);  // the link shown lays out with the next events
  test::SaveScreenshot(form->grab().toImage(), "directory_tv");

  ClickCategory(*form, dcDirectoryRadio);
  EXPECT_EQ(Column(views, 0), (Names{"Jazz FM", "Radio Talk"})) << "a station without codecs is radio";
  EXPECT_EQ(Column(views, 1), (Names{"Take Five", ""}));
  EXPECT_TRUE(form->visStreams->isVisible());

  ClickCategory(*form, dcRecent);
  EXPECT_EQ(Column(views, 0), (Names{"Recent One"}));
  EXPECT_FALSE(form->visStreams->isVisible() || form->VisLink->isVisible() || form->Link->isVisible());

  EXPECT_EQ(DirectoryServer->Connections(), 1) << "radio came from the cache TV had just filled";
  EXPECT_EQ(ChannelServer->Connections(), 1);
  EXPECT_EQ(Boxes, Names{});
}

TEST_F(Directory, IcecastCategoriesSplitTheServedListing) {
  auto form = Open();
  QTreeView* views = form->Views;
  ASSERT_EQ(form->Tree->topLevelItemCount(), dcCount);
  EXPECT_EQ(form->Tree->topLevelItem(dcRecent + 1)->text(0), "Icecast TV") << "after Recently Played";
  EXPECT_EQ(form->Tree->topLevelItem(dcRecent + 2)->text(0), "Icecast Radio");
  for (int category : {dcIcecastTV, dcIcecastRadio}) {
    const QIcon icon = form->Tree->topLevelItem(category)->icon(0);
    EXPECT_FALSE(icon.isNull() ||
                 icon.pixmap(16, 16).toImage() ==
                     form->Tree->topLevelItem(category - 4)->icon(0).pixmap(16, 16).toImage())
        << category << ": an icon of its own";
  }

  ClickCategory(*form, dcIcecastTV);
  EXPECT_EQ(form->Category(), dcIcecastTV);
  EXPECT_EQ(test::Title(views, 1), "Now Playing");
  ASSERT_EQ(Column(views, 0), Names{"Ogg TV"});
  EXPECT_EQ(RowText(views, 0), "The late film|Film||800|Ogg Video");
  EXPECT_FALSE(form->visStreams->isVisible() || form->VisLink->isVisible() || form->Link->isVisible());

  ClickCategory(*form, dcIcecastRadio);
  EXPECT_EQ(Column(views, 0), (Names{"Archive", "Opus Talk", "Zebra Radio"}))
      << "only Ogg, each listen URL once, sorted by name";
  EXPECT_EQ(Column(views, 1), (Names{"", "The news at six", "Take Five"}));
  EXPECT_EQ(Column(views, 2), (Names{"Spoken", "Talk", "Jazz & Blues"}));
  EXPECT_EQ(Column(views, 5), (Names{"Ogg", "Ogg Opus", "Ogg Audio"}));
  ClickRowNamed(views, "Zebra Radio");
  test::RunEvents(50);
  test::SaveScreenshot(form->grab().toImage(), "directory_icecast_radio");

  ClickCategory(*form, dcIcecastTV);
  EXPECT_EQ(IcecastServer->Connections(), 1) << "one download serves both categories";
  EXPECT_NE(IcecastServer->Received(0).find("GET /yp.xml "), std::string::npos);
  EXPECT_EQ(Boxes, Names{});
}

TEST_F(Directory, IcecastStationsAreStationsLikeAnyOther) {
  auto form = Open();
  ClickCategory(*form, dcIcecastRadio);
  ClickHeader(form->Views, 4);
  EXPECT_EQ(Column(form->Views, 0), (Names{"Archive", "Opus Talk", "Zebra Radio"}))
      << "by bit rate; one that is no number counts as 0";

  QTest::keyClicks(form->txtFilter, "news");
  ASSERT_TRUE(test::WaitUntil([&] { return Column(form->Views, 0) == Names{"Opus Talk"}; }))
      << "what is on now is searched";
  QTest::mouseClick(form->txtFilter, Qt::LeftButton);
  form->txtFilter->clear();
  ASSERT_TRUE(test::WaitUntil([&] { return test::RowCount(form->Views) == 3; }));

  ClickRowNamed(form->Views, "Zebra Radio");
  QTest::mouseClick(form->btnAddBookmarks, Qt::LeftButton);
  const auto stored = Config.Load();
  ASSERT_EQ(stored->books.size(), 3u);
  EXPECT_EQ(stored->books[2]->Name, "Zebra Radio");
  EXPECT_EQ(stored->books[2]->URLs, Names{"http://zebra.example:8000/live.ogg"});
  EXPECT_EQ(stored->books[2]->OnNow, "") << "a bookmark keeps no live figures";

  const int row = static_cast<int>(Column(form->Views, 0).size()) - 1;
  EXPECT_EQ(PlayedRow(*form, row), Names{"http://zebra.example:8000/live.ogg"});
  // The player keeps what was played in the recent list; from there it plays the same way.
  tPlaylist played;
  FillPlaylist(played, *form->Rows()[static_cast<size_t>(row)]);
  Record->AddPlaylistToRecent(played);
  ClickHeader(form->Views, 0);  // by name again
  ClickCategory(*form, dcRecent);
  EXPECT_EQ(Column(form->Views, 0), (Names{"Recent One", "Zebra Radio"}));
  ClickCategory(*form, dcBookmarks);
  EXPECT_EQ(Column(form->Views, 0), (Names{"bookmark a", "Bookmark B", "Zebra Radio"}));
  EXPECT_EQ(PlayedRow(*form, 2), Names{"http://zebra.example:8000/live.ogg"});
}

TEST_F(Directory, AnswersEventsWhileItReadsAListing) {
  // A fresh cache, so nothing is downloaded: the only waiting is the reading of the listing.
  ASSERT_TRUE(test::WriteFile(Cache->File(kIcecastCacheName), kIcecastListing));
  Record->icerefresh = NowUTC();
  auto form = Open();
  bool answeredWhileLoading = false;
  QTimer::singleShot(0, form.get(), [&] { answeredWhileLoading = !form->Tree->isEnabled(); });
  ClickCategory(*form, dcIcecastRadio);
  EXPECT_TRUE(answeredWhileLoading) << "events are served while the listing is read";
  EXPECT_EQ(Column(form->Views, 0), (Names{"Archive", "Opus Talk", "Zebra Radio"}));
  EXPECT_TRUE(form->Tree->isEnabled());
  EXPECT_EQ(IcecastServer->Connections(), 0);
}

TEST_F(Directory, ManyRowsAreListedAsideWhileTheWindowAnswers) {
  // Enough stations that filtering, sorting and making the rows run on a thread of their own.
  Record->books.clear();
  char name[32];
  for (int i = 0; i < 6000; ++i) {
    std::snprintf(name, sizeof name, "Station %04d", (i * 7919) % 6000);  // shuffled
    Record->books.push_back(std::make_unique<tRecentPlaylistEntry>(
        Station(name, "http://127.0.0.1/" + std::to_string(i), i % 3 == 0 ? "Jazz" : "Rock")));
  }
  auto form = Open();
  struct Row {
    const char* Step;
    size_t Rows;
    const char* First;
    const char* Last;
  } rows[] = {
      {"open", 6000, "Station 0000", "Station 5999"},
      {"sort", 6000, "Station 5999", "Station 0000"},  // the name column clicked again: descending
      {"filter", 2000, "Station 5997", "Station 0000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Step);
    const std::string step = row.Step;
    bool answered = false, inputTaken = true;
    // A click on another column while the rows are made: ignored, the order stays the one shown.
    QTimer::singleShot(0, form.get(), [&] {
      answered = true;
      inputTaken = form->Views->isEnabled();
      ClickHeader(form->Views, 2);
    });
    if (step == "open") {
      ClickCategory(*form, dcRecent);
      ClickCategory(*form, dcBookmarks);
    } else if (step == "sort") {
      ClickHeader(form->Views, 0);
    } else {
      form->txtFilter->setText("jazz");
      form->CategoryChange();
    }
    EXPECT_TRUE(answered) << "events are served while the rows are made";
    EXPECT_FALSE(inputTaken) << "the rows take no clicks meanwhile";
    EXPECT_EQ(form->SortColumn(), 0);
    const Names names = Column(form->Views, 0);
    ASSERT_EQ(names.size(), row.Rows);
    EXPECT_EQ(names.front(), row.First);
    EXPECT_EQ(names.back(), row.Last);
    ASSERT_EQ(form->Rows().size(), row.Rows);
    EXPECT_EQ(form->Rows().front()->Name, row.First) << "the stations behind the rows in the same order";
    EXPECT_TRUE(form->Views->isEnabled());
  }
  ClickRow(form->Views, 1);
  EXPECT_EQ(PlayedRow(*form, 1), Names{"http://127.0.0.1/" + std::to_string([] {
                                         for (int i = 0; i < 6000; ++i)
                                           if ((i * 7919) % 6000 == 5994) return i;
                                         return -1;
                                       }())});
}

TEST_F(Directory, ClosedWhileBusyItClosesOnceTheWorkIsOver) {
  ASSERT_TRUE(test::WriteFile(Cache->File(kIcecastCacheName), kIcecastListing));
  Record->icerefresh = NowUTC();  // fresh: the only wait is the reading of the listing
  char name[32];
  for (int i = 0; i < 6000; ++i) {
    std::snprintf(name, sizeof name, "Station %04d", i);
    Record->books.push_back(std::make_unique<tRecentPlaylistEntry>(Station(name, "http://127.0.0.1/x")));
  }
  for (const char* busy : {"reading a listing", "making many rows"}) {
    SCOPED_TRACE(busy);
    auto form = Open();
    bool closedAtOnce = true;
    QTimer::singleShot(0, form.get(), [&] {
      QTest::mouseClick(form.get(), Qt::LeftButton, {}, form->CloseRect().center());
      closedAtOnce = !form->isVisible();
    });
    if (std::string(busy) == "reading a listing")
      ClickCategory(*form, dcIcecastRadio);
    else
      ClickHeader(form->Views, 0);
    EXPECT_FALSE(closedAtOnce) << "the work is not left half done";
    EXPECT_FALSE(form->isVisible()) << "the close was kept and done";
  }
}

TEST_F(Directory, FilterIgnoresCaseBeyondASCII) {
  // Most names are ASCII and are compared byte by byte; the others as their upper case is read.
  for (const char* name :
       {"K\u0131z\u0131l Radyo", "\u00C9COLE Radio", "\u00E9cole jazz", "Plain Rock", "ROCK Hard"})
    Record->AddToBookmarks(Station(name, "http://127.0.0.1/" + std::string(name)));
  struct Row {
    const char* Typed;
    Names Kept;
    const char* Note;
  } rows[] = {
      {"kizil", {"K\u0131z\u0131l Radyo"}, "a dotless i is an I in upper case"},
      {"\u00E9cole", {"\u00C9COLE Radio", "\u00E9cole jazz"}, "a filter beyond ASCII, either case"},
      {"rock", {"Bookmark B", "Plain Rock", "ROCK Hard"}, "ASCII in any case, the genre too"},
      {"RADIO", {"\u00C9COLE Radio"}, "an ASCII word in a name that is not ASCII"},
      {"ock h", {"ROCK Hard"}, "spaces count"},
  };
  auto form = Open();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    form->txtFilter->setText(QString::fromUtf8(row.Typed));
    QTest::keyClick(form->txtFilter, Qt::Key_Return);
    EXPECT_EQ(Column(form->Views, 0), row.Kept);
  }
}

TEST_F(Directory, FilterAppliesOnceTypingPauses) {
  struct Row {
    int Category;
    const char* Typed;
    Names Kept;
    const char* Note;
  } rows[] = {
      {dcKestrovaTV, "jazz", {"Kestrova One"}, "the genre matches; the description is not searched"},
      {dcDirectoryTV, "HEADL", {"TV One (News)"}, "what is on now is searched"},
      {dcDirectoryTV, "kid", {"Kids"}, "names match in any case"},
      {dcDirectoryRadio, "zzz", {}, "nothing matches"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    auto form = Open();
    ClickCategory(*form, row.Category);
    const std::vector<std::string> before = Column(form->Views, 0);
    int reloads = 0;
    QObject::connect(form->Views->model(), &QAbstractItemModel::modelReset, [&] { ++reloads; });
    QTest::mouseClick(form->txtFilter, Qt::LeftButton);
    QTest::keyClicks(form->txtFilter, row.Typed);
    EXPECT_EQ(Column(form->Views, 0), before) << "typing alone reloads nothing";
    ASSERT_TRUE(test::WaitUntil([&] { return reloads > 0; }));
    test::RunEvents(700);  // long enough for a timer that kept firing to show itself
    EXPECT_EQ(reloads, 1) << "one reload after the last key";
    EXPECT_EQ(Column(form->Views, 0), row.Kept);
    EXPECT_TRUE(form->txtFilter->hasFocus()) << "the reload leaves the keyboard in the filter";
  }
  EXPECT_EQ(DirectoryServer->Connections() + ChannelServer->Connections(), 2) << "each list downloaded once";
}

TEST_F(Directory, ColumnClicksSort) {
  struct Row {
    std::vector<int> Clicks;
    Names Order;
    const char* Note;
  } rows[] = {
      {{}, {"alpha TV", "Kids", "TV One (News)"}, "by name, ignoring case"},
      {{3}, {"alpha TV", "Kids", "TV One (News)"}, "by listener count; no number counts as 0"},
      {{3, 3}, {"TV One (News)", "Kids", "alpha TV"}, "Viewers twice: descending"},
      {{4}, {"Kids", "TV One (News)", "alpha TV"}, "bit rate as a number"},
      {{0}, {"TV One (News)", "Kids", "alpha TV"}, "the sort column clicked again reverses"},
      {{3, 3, 2}, {"Kids", "alpha TV", "TV One (News)"}, "a new column sorts ascending"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    auto form = Open();
    ClickCategory(*form, dcDirectoryTV);
    ClickRowNamed(form->Views, "Kids");
    for (int section : row.Clicks) ClickHeader(form->Views, section);
    EXPECT_EQ(Column(form->Views, 0), row.Order);
    EXPECT_EQ(SelectedName(form->Views), "Kids") << "the selection follows its station";
  }
}

TEST_F(Directory, DeletingMovesTheSelection) {
  Record->AddToBookmarks(Station("Bookmark C", "http://c.example/live"));
  tPlaylist played;
  int n = 2;
  for (const char* name : {"Recent Two", "Recent Three"}) {
    played.Items = {Played("http://recent" + std::to_string(n++) + ".example/", name)};
    Record->AddPlaylistToRecent(played);
  }
  struct Row {
    int Category;
    int Delete;
    Names Left;
    std::string Selected;
    const char* Note;
  } rows[] = {
      {dcBookmarks,
       2,
       {"bookmark a", "Bookmark B"},
       "Bookmark B",
       "the last row deleted: the new last is selected"},
      {dcRecent, 1, {"Recent One", "Recent Two"}, "Recent Two", "a middle row: the one now in its place"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    auto form = Open();
    ClickCategory(*form, row.Category);
    ClickRow(form->Views, row.Delete);
    QTest::keyClick(form->Views, Qt::Key_Delete);
    EXPECT_EQ(Column(form->Views, 0), row.Left);
    EXPECT_EQ(SelectedName(form->Views), row.Selected);
    EXPECT_TRUE(form->btnDelete->isEnabled());
  }
  EXPECT_EQ(Record->books.size(), 2u);
  EXPECT_EQ(Config.Load()->recent.size(), 2u) << "a recent station is removed from the store at once";

  auto form = Open();
  ClickCategory(*form, dcRecent);
  for (int left = 2; left > 0; --left) {
    ClickRow(form->Views, 0);
    QTest::mouseClick(form->btnDelete, Qt::LeftButton);
  }
  EXPECT_EQ(test::RowCount(form->Views), 0);
  EXPECT_EQ(SelectedName(form->Views), "");
  for (TKestrovaButton* button : {form->btnPlay, form->btnDelete, form->btnAddBookmarks})
    EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
}

TEST_F(Directory, DeletingARecentStationShowsTheListAsSaved) {
  // More recent stations than are kept (a store written by hand): removing one saves, and the save drops the
  // oldest ones the rows still show.
  Record->recent.clear();
  char name[32];
  for (int i = 0; i < 102; ++i) {
    std::snprintf(name, sizeof name, "Station %03d", i);
    auto station =
        std::make_unique<tRecentPlaylistEntry>(Station(name, "http://127.0.0.1/" + std::to_string(i)));
    station->Stamp = 1000 + i;
    Record->recent.push_back(std::move(station));
  }
  auto form = Open();
  ClickCategory(*form, dcRecent);
  ASSERT_EQ(test::RowCount(form->Views), 102);
  ClickRow(form->Views, 50);
  QTest::mouseClick(form->btnDelete, Qt::LeftButton);
  const std::vector<std::string> names = Column(form->Views, 0);
  ASSERT_EQ(names.size(), kMaxRecent);
  EXPECT_EQ(names.front(), "Station 001") << "the oldest went with the save";
  EXPECT_EQ(SelectedName(form->Views), "Station 052") << "the row now at the deleted one's place";
  EXPECT_EQ(PlayedRow(*form, 0), Names{"http://127.0.0.1/1"});
}

TEST_F(Directory, RowsKeepTheirStationWhileTheMainWindowChangesTheRecentList) {
  // The recent list full; the main window adds stations while the directory shows it (a second start with an
  // address, the playlist moving on). Each addition saves, and the save trims the oldest station, freeing
  // it: a row that pointed into the list would read a freed station, or the new one now in its memory.
  struct Row {
    const char* Selected;
    int Added;
    const char* Action;  // "play" or "delete"
    size_t StoredAfter;
    const char* Note;
  } rows[] = {
      {"Station 000", 1, "play", kMaxRecent, "the selected station was trimmed away"},
      {"Station 000", 3, "play", kMaxRecent, "trimmed, and its memory taken by later additions"},
      {"Station 050", 2, "play", kMaxRecent,
       "a station that stays, the list reordered and trimmed around it"},
      {"Station 050", 2, "delete", kMaxRecent - 1, "the stored station is found by what it is and removed"},
      {"Station 001", 2, "delete", kMaxRecent, "already trimmed: nothing else is removed"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.Action) + " " + row.Selected + ": " + row.Note);
    Record->recent.clear();
    char name[32];
    for (int i = 0; i < static_cast<int>(kMaxRecent); ++i) {
      std::snprintf(name, sizeof name, "Station %03d", i);
      auto station =
          std::make_unique<tRecentPlaylistEntry>(Station(name, "http://127.0.0.1/" + std::to_string(i)));
      station->Stamp = 1000 + i;  // oldest first
      Record->recent.push_back(std::move(station));
    }
    auto form = Open();
    ClickCategory(*form, dcRecent);
    ClickRowNamed(form->Views, row.Selected);
    const int selectedRow = test::SelectedIndex(form->Views);
    const std::string address =
        "http://127.0.0.1/" + std::to_string(std::stoi(std::string(row.Selected).substr(8)));

    for (int i = 0; i < row.Added; ++i) {
      tPlaylist playing;
      playing.Items = {Played("http://127.0.0.1/new" + std::to_string(i), "New " + std::to_string(i))};
      Record->AddPlaylistToRecent(playing);
    }
    ASSERT_EQ(Record->recent.size(), kMaxRecent);

    if (std::string(row.Action) == "play") {
      EXPECT_EQ(SelectedName(form->Views), row.Selected);
      tPlaylist playlist;
      form->Target = &playlist;
      QTest::mouseClick(form->btnPlay, Qt::LeftButton);
      ASSERT_EQ(playlist.Count(), 1);
      EXPECT_EQ(playlist[0].Location, address) << "the station the row showed";
      EXPECT_EQ(playlist[0].Title, row.Selected);
      EXPECT_EQ(playlist[0].Annotation, std::string(row.Selected) + " described");
    } else {
      QTest::mouseClick(form->btnDelete, Qt::LeftButton);
      EXPECT_EQ(Record->recent.size(), row.StoredAfter);
      const Names shown = Column(form->Views, 0);
      EXPECT_EQ(shown.size(), Record->recent.size()) << "the rows show the list as it is stored now";
      EXPECT_EQ(std::count(shown.begin(), shown.end(), row.Selected), 0);
      EXPECT_EQ(std::count(shown.begin(), shown.end(), "New 0"), 1);
      for (const auto& station : Record->recent) EXPECT_NE(station->Name, row.Selected);
      EXPECT_EQ(test::SelectedIndex(form->Views), selectedRow)
          << "the row at the deleted one's place is selected";
      EXPECT_EQ(Config.Load()->recent.size(), row.StoredAfter) << "saved";
    }
  }
}

TEST_F(Directory, ButtonsFollowTheCategoryAndTheSelection) {
  struct Row {
    int Category;
    bool Refresh, Add, Delete;
  } rows[] = {
      {dcKestrovaTV, true, true, false}, {dcDirectoryTV, true, true, false},
      {dcBookmarks, false, false, true}, {dcRecent, false, true, true},
      {dcIcecastTV, true, true, false},  {dcIcecastRadio, true, true, false},
  };
  auto form = Open();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Category);
    ClickCategory(*form, row.Category);
    EXPECT_FALSE(form->btnPlay->isEnabled() || form->btnAddBookmarks->isEnabled() ||
                 form->btnDelete->isEnabled())
        << "no row is selected after a category change";
    ClickRow(form->Views, 0);
    EXPECT_TRUE(form->btnPlay->isEnabled());
    EXPECT_EQ(form->btnRefresh->isEnabled(), row.Refresh);
    EXPECT_EQ(form->btnAddBookmarks->isEnabled(), row.Add);
    EXPECT_EQ(form->btnDelete->isEnabled(), row.Delete);
  }

  ClickCategory(*form, dcDirectoryTV);
  ClickRowNamed(form->Views, "TV One (News)");
  QTest::mouseClick(form->btnAddBookmarks, Qt::LeftButton);
  EXPECT_FALSE(form->btnAddBookmarks->isEnabled());
  ClickCategory(*form, dcBookmarks);
  EXPECT_EQ(Column(form->Views, 0), (Names{"bookmark a", "Bookmark B", "TV One (News)"}));
  auto stored = Config.Load();
  ASSERT_EQ(stored->books.size(), 3u);
  EXPECT_EQ(stored->books[2]->URLs.size(), 3u);
  EXPECT_EQ(stored->books[2]->Viewers + stored->books[2]->OnNow, "") << "a bookmark keeps no live figures";
}

TEST_F(Directory, PlaySelectionFillsThePlaylistWithEveryURL) {
  struct Row {
    const char* Gesture;
    bool Played;
  } rows[] = {{"button", true}, {"double click", true}, {"enter", true}, {"close box", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Gesture);
    TfmDirectory form(nullptr, *Record, Cache->Path() + "/");
    tPlaylist playlist;
    playlist.SetSingleEntry("http://before.example/");
    const bool played = test::ShowWithUser(
        form,
        [&] {
          ClickCategory(form, dcDirectoryTV);
          ClickRowNamed(form.Views, "TV One (News)");
          const std::string gesture = row.Gesture;
          const int at = test::SelectedIndex(form.Views);
          if (gesture == "button") {
            QTest::mouseClick(form.btnPlay, Qt::LeftButton);
          } else if (gesture == "double click") {
            test::DoubleClickRow(form.Views, at);
          } else if (gesture == "enter") {
            QTest::keyClick(form.Views, Qt::Key_Return);
          } else {
            QTest::mouseClick(&form, Qt::LeftButton, {}, form.CloseRect().center());
          }
        },
        [&] { return ShowDirectory(form, playlist); });
    EXPECT_EQ(played, row.Played);
    if (!row.Played) {
      ASSERT_EQ(playlist.Count(), 1);
      EXPECT_EQ(playlist[0].Location, "http://before.example/");
      continue;
    }
    ASSERT_EQ(playlist.Count(), 3);
    for (int i = 0; i < 3; ++i) {
      const tPlayListEntry& e = playlist[i];
      EXPECT_EQ(e.Location, "http://s.example/" + std::to_string(i + 1));
      EXPECT_EQ(e.Title + "|" + e.Annotation + "|" + e.Genre + "|" + e.Info,
                "TV One (News)|News|Talk|http://one.example/");
      EXPECT_EQ(e.Duration, -1);
    }
  }
}

TEST_F(Directory, FailedChannelListKeepsTheRowsAndTheyStayUsable) {
  Serve(Serving(kDirectoryXML),
        {test::ReadRequest(), test::Send("HTTP/1.0 404 Not Found\r\n\r\nmissing"), test::Close()});
  auto form = Open();
  ClickCategory(*form, dcKestrovaTV);
  EXPECT_EQ(
      Boxes,
      (Names{"Error|An error occured downloading the Kestrova channel list.  Please try again later."}));
  EXPECT_EQ(BoxFlags, std::vector<int>{MB_OK | MB_ICONEXCLAMATION});
  EXPECT_EQ(form->Category(), dcKestrovaTV);
  EXPECT_EQ(Column(form->Views, 0), (Names{"bookmark a", "Bookmark B"})) << "the list keeps what it showed";
  // The rows are bookmarks, but the category allows bookmarking them: adding one replaces it in the list the
  // rows point into.
  ClickRow(form->Views, 1);
  QTest::mouseClick(form->btnAddBookmarks, Qt::LeftButton);
  EXPECT_EQ(Column(form->Views, 0), (Names{"bookmark a", "Bookmark B"}));
  EXPECT_EQ(PlayedRow(*form, 1), Names{"http://b.example/live"});
}

TEST_F(Directory, FailedDirectoryDownloadIsReportedOnceAndTheOldCacheServes) {
  struct Row {
    test::tScript Script;
    bool Cancel;
    const char* Note;
  } rows[] = {
      {{test::ReadRequest(), test::Close()}, false, "the server closes before a byte"},
      {{test::ReadRequest(), test::Send("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n"), test::Stall()},
       true,
       "the user cancels during the header"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    Boxes.clear();
    const std::string cached = Zlib(kDirectoryXML);
    ASSERT_TRUE(test::WriteFile(Cache->File(kDirectoryCacheName), cached));
    Record->strrefresh = NowUTC() - 1;  // a day old: due for a download
    Serve(row.Script, Serving(kChannelXML));
    auto form = Open();
    test::tDuringTransfer watch([&](TfrmDownloading& dialog) {
      if (row.Cancel) QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
      return true;
    });
    ClickCategory(*form, dcDirectoryTV);
    EXPECT_TRUE(watch.Done) << "the download dialog showed";
    EXPECT_EQ(Boxes, Names{"Error|An error occured downloading the directory.  Please try again later."});
    EXPECT_EQ(Column(form->Views, 0), (Names{"alpha TV", "Kids", "TV One (News)"})) << "the old cache";
    ClickCategory(*form, dcDirectoryRadio);
    ClickCategory(*form, dcDirectoryTV);
    EXPECT_EQ(Column(form->Views, 0), (Names{"alpha TV", "Kids", "TV One (News)"}));
    EXPECT_EQ(Boxes.size(), 1u) << "told once; the failed download waits for its retry";
    EXPECT_EQ(DirectoryServer->Connections(), 1);
    EXPECT_EQ(test::ReadFile(Cache->File(kDirectoryCacheName)), cached) << "the cache is kept as it was";
    EXPECT_LT(Record->strrefresh, NowUTC() - 0.5) << "no fresh stamp for a download that failed";
  }
}

TEST_F(Directory, TakesNoClicksWhileAListDownloads) {
  // The server takes the request and says nothing until the user cancels.
  Serve(Serving(kDirectoryXML), {test::ReadRequest(), test::Stall()});
  auto form = Open();
  bool treeEnabled = true;
  test::tDuringTransfer watch([&](TfrmDownloading& dialog) {
    treeEnabled = form->Tree->isEnabled();
    ClickCategory(*form, dcDirectoryTV);
    QTest::mouseClick(form.get(), Qt::LeftButton, {}, form->CloseRect().center());
    QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
    return true;
  });
  ClickCategory(*form, dcKestrovaTV);
  EXPECT_TRUE(watch.Done);
  EXPECT_FALSE(treeEnabled);
  EXPECT_TRUE(form->isVisible()) << "the window stays while it downloads";
  EXPECT_EQ(DirectoryServer->Connections(), 0) << "no second download started inside the first";
  EXPECT_EQ(form->Category(), dcKestrovaTV);
  EXPECT_EQ(Boxes.size(), 1u) << "the cancelled download is reported once";
  EXPECT_TRUE(form->Tree->isEnabled());
}

}  // namespace
}  // namespace ktv
