// The current-stream information dialog: the receiver's metadata, the logical streams of the current link
// and the details of the selected one (the decoder's format and comments, or what an unsupported codec is).
// It shows a snapshot taken when it opens, and takes a new one on Refresh (the main window asks for it when a
// new chain link's headers were read).
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/skinned_form.h"

class QLabel;
class QListWidget;
class QTreeWidget;

namespace ktv {

class tOggThreadManager;
class TKestrovaButton;
class TKestrovaPanel;
class TLink;

// What the dialog shows, read from the decoding thread's objects at one moment.
struct tStreamSnapshot {
  // Address: where the stream comes from (the last address of a redirect chain).
  std::string Name, Description, Genre, StationURL, Server, ContentType, Address;
  bool IsPublic = true;
  int32_t Bitrate = 0;
  std::vector<std::string> StreamNames, StreamSignatures;
  int32_t AudioIndex = -1, VideoIndex = -1;
  std::vector<std::string> AudioComments, VideoComments;
  int32_t Rate = 0, Channels = 0;
  int32_t FrameWidth = 0, FrameHeight = 0;
  double FrameRate = 0;
};
tStreamSnapshot TakeStreamSnapshot(tOggThreadManager& manager);

// The (field, value) rows of one stream's details.
using tDetailRows = std::vector<std::pair<QString, QString>>;
tDetailRows StreamDetailRows(const tStreamSnapshot& snapshot, int index);
// A stream's name in the list: its codec name, or "Speex" or "Opus" for a stream whose identification says
// so (the name rule drops the first letter of those).
QString ShownStreamName(const tStreamSnapshot& snapshot, int index);

class TfrmAboutstreamDlg : public tSkinnedForm {
  Q_OBJECT

 public:
  // stream: the stream to show, asked at every snapshot (null: none); the dialog keeps no pointer to it.
  using tStreamSource = std::function<tOggThreadManager*()>;
  TfrmAboutstreamDlg(QWidget* owner, tStreamSource stream);

  // Takes a new snapshot and shows it, keeping the selected stream where it still exists.
  void Refresh();
  void FillStreamDetails(int index);
  // The rows lvStuff shows now.
  tDetailRows ShownRows() const;

  TKestrovaPanel* pnlInfo;
  QLabel* lblName;
  QLabel* lblDesc;
  QLabel* lblGenre;
  TLink* lnkUrl;
  QLabel* lblDist;
  QLabel* lblBitrate;
  QLabel* lblSoftware;
  QLabel* lblType;
  QLabel* lblAddress;
  TKestrovaPanel* pnlStreams;
  QLabel* lblStreamCount;
  QListWidget* lblStreams;
  QTreeWidget* lvStuff;
  TKestrovaButton* btnOK;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowSnapshot(int selected);
  void SetValue(QLabel* label, const std::string& value);

  tStreamSource Stream;
  tStreamSnapshot Snapshot;
};

}  // namespace ktv
