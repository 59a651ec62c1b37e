// The public Icecast directory with a generated listing of 20,000 entries (about 7 MB, more than the public
// listing holds): what the directory window waits for when it shows one of the two Icecast categories.
//
//   parse       the XML reader over the listing's text
//   validate    the check a downloaded listing passes before it replaces the cache (it parses again)
//   map         the parsed tree into station records (type filter, listen-URL merging, entity decoding)
//   dir_map     the 50,000-station directory below, parsed, into its radio stations
//   load_cold   tStationDirectory::LoadIcecastDirectory right after a download: cache file read, parsed,
//               mapped, the radio entries copied out
//   load_warm   the same with the listing already read (every filter pause reloads the category)
//   window_*    the directory window on Qt's offscreen platform: opening "Icecast Radio" on a fresh cache
//               (cold), a filter word applied (filter), and the filter cleared again, listing every radio
//               row (all). "Time" is the whole change; stall_ms the longest stretch within it in which the
//               event loop served nothing (the window did not answer), as a timer firing whenever the loop
//               turns sees it.
//   dir_*       the same window on the player's own directory of 50,000 radio stations (zlib-compressed
//               cache, fresh): opening "Directory Radio" (open; the reading runs aside), a filter word
//               applied (filter; the category reloads, from the directory as read before), and a click on
//               the Name column sorting all rows (sort)
//   download    the listing fetched from a loopback server through the download dialog, which reads in
//               blocks and pumps events between them
//
// Times are wall clock on the main thread; "rows" is what the window lists afterwards.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>
#include <QHeaderView>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "library/icecast_listing.h"
#include "library/station_directory.h"
#include "net/xml_parser.h"
#include "support/script_server.h"
#include "ui/directory_form.h"
#include "ui/downloading_form.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEntries = 20000;
constexpr int kDirectoryStations = 50000;

// The player's own directory, kDirectoryStations radio stations. Each has only its name and its address:
// the XML reader refuses a tree of more than tXMLParser::kMaxElements elements, and four per station is what
// 50,000 stations can have within it.
const std::string& DirectoryDocument() {
  static const std::string document = [] {
    static const char* kGenres[] = {"Rock", "Jazz", "News", "Talk", "Electronic", "Metal", "Classical"};
    std::mt19937 random(23);
    std::ostringstream out;
    out << "<?xml version=\"1.0\"?>\n<dir>\n";
    for (int i = 0; i < kDirectoryStations; ++i) {
      out << "<station><name>" << kGenres[random() % 7] << " Radio " << random() % 100000 << " number " << i
          << "</name><servers><url>http://stream" << i << ".example.org:8000/live.ogg</url></servers>"
          << "</station>\n";
    }
    out << "</dir>\n";
    const QByteArray packed = qCompress(QByteArray::fromStdString(out.str()));
    return packed.mid(4).toStdString();  // qCompress puts the length first; the cache is the zlib stream
  }();
  return document;
}

// A listing in the shape the public directory serves: mostly MP3 and AAC streams, a good share of Ogg
// radio, some Ogg video, a few entries announced twice, texts with entity references.
const std::string& Listing() {
  static const std::string listing = [] {
    static const char* kTypes[] = {"audio/mpeg", "audio/aacp", "audio/ogg",       "audio/ogg",
                                   "audio/ogg",  "audio/opus", "application/ogg", "video/ogg"};
    static const char* kGenres[] = {"Rock",  "Jazz &amp; Blues", "News",      "Talk",    "Electronic",
                                    "Metal", "Classical",        "Chill Out", "Hip Hop", "Various"};
    std::mt19937 random(17);
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<directory>\n";
    for (int i = 0; i < kEntries; ++i) {
      // One entry in fifty repeats an earlier stream's address (a server announced twice).
      const int stream = (i % 50 == 49) ? i - 7 : i;
      out << "<entry>\n<server_name>Station " << i << " &quot;" << kGenres[i % 10]
          << "&quot; Radio</server_name>\n"
          << "<listen_url>http://stream" << stream % 977 << ".example.org:8000/live" << stream
          << ".ogg</listen_url>\n"
          << "<server_type>" << kTypes[random() % 8] << "</server_type>\n"
          << "<bitrate>" << (64 + 32 * (random() % 8)) << "</bitrate>\n"
          << "<samplerate>44100</samplerate>\n<channels>2</channels>\n"
          << "<genre>" << kGenres[random() % 10] << "</genre>\n"
          << "<current_song>Artist " << random() % 5000 << " - Song title number " << random() % 100000
          << " (live &amp; direct)</current_song>\n</entry>\n";
    }
    out << "</directory>\n";
    return out.str();
  }();
  return listing;
}

// A folder of the benchmark's own for the cache files and the settings store.
class tScratch {
 public:
  tScratch() {
    char name[] = "/tmp/ktv-directory-bench-XXXXXX";
    Path = mkdtemp(name) ? std::string(name) + "/" : std::string();
  }
  ~tScratch() {
    std::error_code ec;
    if (!Path.empty()) fs::remove_all(Path, ec);
  }
  std::string Path;
};

void WriteCache(const std::string& folder) {
  std::ofstream(folder + ktv::kIcecastCacheName, std::ios::binary) << Listing();
}

class tQuietPrompts : public ktv::tDirectoryPrompts {
  void ShowWarning(const std::string&, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void OpenWebPage(const std::string&) override {}
};

void BM_Parse(benchmark::State& state) {
  for (auto _ : state) {
    ktv::tXMLParser xml;
    benchmark::DoNotOptimize(xml.Parse(Listing()));
  }
  state.counters["MB"] = static_cast<double>(Listing().size()) / 1e6;
}

void BM_Validate(benchmark::State& state) {
  for (auto _ : state) {
    if (!ktv::IsIcecastListing(Listing())) state.SkipWithError("the listing does not read as a listing");
  }
}

void BM_Map(benchmark::State& state) {
  ktv::tXMLParser xml;
  xml.Parse(Listing());
  ktv::tIcecastStations stations;
  for (auto _ : state) ktv::ReadIcecastListing(xml, stations);
  state.counters["ogg_entries"] = static_cast<double>(stations.size());
}

void BM_DirectoryMap(benchmark::State& state) {
  std::string text;
  ktv::InflateDocument(DirectoryDocument(), text);
  ktv::tXMLParser xml;
  if (!xml.Parse(text)) state.SkipWithError("the directory does not parse");
  ktv::tStationList radio;
  for (auto _ : state) ktv::ReadStationList(xml, true, false, radio);
  state.counters["radio"] = static_cast<double>(radio.size());
}

void BM_Load(benchmark::State& state, bool warm) {
  tScratch scratch;
  WriteCache(scratch.Path);
  ktv::tPlayerSettings settings(scratch.Path + "settings");
  settings.icerefresh = ktv::NowUTC();  // fresh: no download
  tQuietPrompts prompts;
  auto directory = std::make_unique<ktv::tStationDirectory>(settings, nullptr, prompts, scratch.Path);
  directory->LoadIcecastDirectory(false);
  for (auto _ : state) {
    if (!warm) {
      state.PauseTiming();
      directory = std::make_unique<ktv::tStationDirectory>(settings, nullptr, prompts, scratch.Path);
      state.ResumeTiming();
    }
    directory->LoadIcecastDirectory(false);
  }
  state.counters["radio"] = static_cast<double>(directory->Stations.size());
}

// The longest time between two turns of the event loop while it runs.
class tStallMeter {
 public:
  tStallMeter() {
    QObject::connect(&Timer, &QTimer::timeout, [this] { Turn(); });
    Timer.start(0);
  }
  void Start() { Last = Clock::now(); }
  // The worst stretch since Start, the end of the measured call included.
  double Stop() {
    Turn();
    const double worst = Worst;
    Worst = 0;
    return worst;
  }

 private:
  using Clock = std::chrono::steady_clock;
  void Turn() {
    const auto now = Clock::now();
    Worst = std::max(Worst, std::chrono::duration<double, std::milli>(now - Last).count());
    Last = now;
  }
  QTimer Timer;
  Clock::time_point Last = Clock::now();
  double Worst = 0;
};

// The window's three moments, each one call on the main thread.
void BM_Window(benchmark::State& state, int moment) {
  tScratch scratch;
  WriteCache(scratch.Path);
  ktv::tPlayerSettings settings(scratch.Path + "settings");
  settings.LoadSettings();
  settings.icerefresh = ktv::NowUTC();
  auto form = std::make_unique<ktv::TfmDirectory>(nullptr, settings, scratch.Path);
  form->show();
  QTreeWidgetItem* radio = form->Tree->topLevelItem(ktv::dcIcecastRadio);
  if (moment > 0) form->Tree->setCurrentItem(radio);
  tStallMeter meter;
  double stall = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (moment == 0) {
      form = std::make_unique<ktv::TfmDirectory>(nullptr, settings, scratch.Path);
      form->show();
      radio = form->Tree->topLevelItem(ktv::dcIcecastRadio);
    }
    form->txtFilter->blockSignals(true);
    form->txtFilter->setText(moment == 1 ? QStringLiteral("jazz") : QString());
    form->txtFilter->blockSignals(false);
    QCoreApplication::processEvents();
    state.ResumeTiming();
    meter.Start();
    if (moment == 0)
      form->Tree->setCurrentItem(radio);  // the category change loads and lists
    else
      form->CategoryChange();  // what the filter timer and Refresh call
    stall = std::max(stall, meter.Stop());
  }
  state.counters["rows"] = form->Views->model()->rowCount();
  state.counters["stall_ms"] = stall;
}

// The directory window on the 50,000-station directory: 0 opening the category, 1 a filter word, 2 a sort.
void BM_DirectoryWindow(benchmark::State& state, int moment) {
  tScratch scratch;
  std::ofstream(scratch.Path + ktv::kDirectoryCacheName, std::ios::binary) << DirectoryDocument();
  ktv::tPlayerSettings settings(scratch.Path + "settings");
  settings.LoadSettings();
  settings.strrefresh = ktv::NowUTC();  // fresh: no download
  auto form = std::make_unique<ktv::TfmDirectory>(nullptr, settings, scratch.Path);
  form->show();
  QTreeWidgetItem* radio = form->Tree->topLevelItem(ktv::dcDirectoryRadio);
  if (moment > 0) form->Tree->setCurrentItem(radio);
  tStallMeter meter;
  double stall = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (moment == 0) {
      form = std::make_unique<ktv::TfmDirectory>(nullptr, settings, scratch.Path);
      form->show();
      radio = form->Tree->topLevelItem(ktv::dcDirectoryRadio);
    }
    if (moment == 1) {
      form->txtFilter->blockSignals(true);
      form->txtFilter->setText(QStringLiteral("jazz"));
      form->txtFilter->blockSignals(false);
    }
    QCoreApplication::processEvents();
    state.ResumeTiming();
    meter.Start();
    if (moment == 0)
      form->Tree->setCurrentItem(radio);
    else if (moment == 1)
      form->CategoryChange();
    else
      emit form->Views->header()->sectionClicked(0);  // as a click on "Name" does (it reverses the order)
    stall = std::max(stall, meter.Stop());
  }
  state.counters["rows"] = form->Views->model()->rowCount();
  state.counters["stall_ms"] = stall;
}

void BM_Download(benchmark::State& state) {
  using namespace ktv::test;
  tScriptServer server(
      {ReadRequest(), Send("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n" + Listing()), Close()});
  size_t bytes = 0;
  for (auto _ : state) {
    std::ostringstream out;
    if (!ktv::DownloadToStream("Please wait...", "Icecast Directory Update", server.URL("/yp.xml"), out))
      state.SkipWithError("the download failed");
    bytes = out.str().size();
  }
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  std::printf("listing: %d entries, %.1f MB\n", kEntries, static_cast<double>(Listing().size()) / 1e6);
  auto ms = [](benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond)->UseRealTime(); };
  ms(benchmark::RegisterBenchmark("parse", BM_Parse));
  ms(benchmark::RegisterBenchmark("validate", BM_Validate));
  ms(benchmark::RegisterBenchmark("map", BM_Map));
  ms(benchmark::RegisterBenchmark("dir_map", BM_DirectoryMap));
  ms(benchmark::RegisterBenchmark("load_cold", [](benchmark::State& s) { BM_Load(s, false); }));
  ms(benchmark::RegisterBenchmark("load_warm", [](benchmark::State& s) { BM_Load(s, true); }));
  ms(benchmark::RegisterBenchmark("window_cold", [](benchmark::State& s) { BM_Window(s, 0); }));
  ms(benchmark::RegisterBenchmark("window_filter", [](benchmark::State& s) { BM_Window(s, 1); }));
  ms(benchmark::RegisterBenchmark("window_all", [](benchmark::State& s) { BM_Window(s, 2); }));
  ms(benchmark::RegisterBenchmark("dir_open", [](benchmark::State& s) { BM_DirectoryWindow(s, 0); }));
  ms(benchmark::RegisterBenchmark("dir_filter", [](benchmark::State& s) { BM_DirectoryWindow(s, 1); }));
  ms(benchmark::RegisterBenchmark("dir_sort", [](benchmark::State& s) { BM_DirectoryWindow(s, 2); }));
  ms(benchmark::RegisterBenchmark("download", BM_Download)->Iterations(3));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
