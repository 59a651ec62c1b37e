// The player's stream logic, shared by the window and the command-line program: it owns the decoding thread
// of the open stream, the playlist and its position, and turns the thread's progress into what a front end
// shows (titles, status texts, error boxes, sizing to the picture) through a small view interface. It moves
// on to the next playlist entry when a stream ends, plays a playlist a server sent instead of a stream, and
// records what the user opened among the recent stations.
//
// Every opened stream has an id that rises for the life of the process; progress messages carry it, and a
// message of a stream that is no longer the current one is dropped (a replaced stream's last "ended" must not
// end its successor).
//
// It also records the open network stream on request (tStreamRecorder): into the user's music or videos
// folder, or where the caller says; a new stream, Stop or the stream's end closes the recording, and a
// recording that fails says why in the information line while the stream plays on.
//
// Threads: main thread only. The decoding thread reaches the controller only through messages posted to the
// front end's message target, which hands them back to HandleMessage.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/playlist.h"
#include "platform/message_target.h"
#include "stream/network_ogg_receiver.h"
#include "stream/stream_recorder.h"

namespace ktv {

class tOggThreadManager;
class tPlayerSettings;

// The controller's own messages (the numbers the window's command events use too).
constexpr uint32_t MSG_NEXT_ENTRY = WM_USER + 16;  // play the playlist's next entry (LParam: stream id)
// A recording ended by itself (WParam: the tRecordEnd, LParam: the recording's id).
constexpr uint32_t MSG_RECORDING_ENDED = WM_USER + 21;

// What a front end shows. Every call comes on the main thread; the defaults do nothing.
class tStreamView {
 public:
  virtual ~tStreamView() = default;
  // The open stream goes: stop everything that reads it (the player's events, dialogs showing it). It is
  // still valid during the call.
  virtual void StreamClosing(tOggThreadManager& /*stream*/) {}
  // A new stream is current (null: none): attach the player to it.
  virtual void StreamOpened(tOggThreadManager* /*stream*/) {}
  // A progress code of the current stream, before the controller acts on it.
  virtual void Progress(int /*code*/) {}
  // The information line: "Opening ...", "Stream closed or got disconnected.".
  virtual void Notify(const std::string& /*text*/) {}
  // The stream's headers were read: its title (empty when the stream ended).
  virtual void TitleChanged(const std::string& /*title*/) {}
  virtual void ErrorBox(const std::string& /*text*/) {}
  // The stream has a picture of (new) size: size the window to it.
  virtual void PictureSizeChanged() {}
  // The visualisation may show (false) or must not (true).
  virtual void SuppressVisualisation(bool /*suppressed*/) {}
  // The last entry ended without the user stopping it.
  virtual void PlaylistEnded() {}
  // Recording began (or waits for the stream's headers) or ended: the Record item's check mark.
  virtual void RecordingChanged(bool /*recording*/) {}
};

class tStreamController {
 public:
  // messages: where the decoding thread posts progress and the controller its own messages; the front end
  // hands each one back to HandleMessage. settings: the receiver options and the recent stations (null: the
  // options below, nothing recorded).
  tStreamController(tStreamView& view, tMessageTarget& messages, tPlayerSettings* settings);
  ~tStreamController();
  tStreamController(const tStreamController&) = delete;
  tStreamController& operator=(const tStreamController&) = delete;

  // A posted message: true when it was the controller's (progress or next entry), acted on or dropped.
  bool HandleMessage(uint32_t msg, intptr_t wParam, intptr_t lParam);

  // Opens a stream, a file or a playlist address; an empty address closes the stream. With an empty playlist
  // the address becomes its only entry.
  void OpenStream(const std::string& url);
  // The user opened an address (typed, a second start, the command line): it replaces the playlist and is
  // recorded among the recent stations once its headers are read.
  void OpenByUser(const std::string& url);
  // The user opened several addresses at once: the first plays now and is remembered, the others follow it
  // as the playlist.
  void OpenAll(const std::vector<std::string>& urls);
  // Stop: closes the stream without reporting a disconnection.
  void Stop();
  // Play: the current address again.
  void PlayAgain();
  // Plays the playlist from entry `index` (posted, so a caller's dialog can close first).
  void PlayPlaylist(const tPlaylist& playlist, int32_t index = 0);
  // Plays entry `index` of the current playlist.
  void PlayEntry(int32_t index);
  // The entry after / before the one playing (media keys, the desktop's controls). False, and nothing
  // changes, when there is none. The entry playing is the one before PlaylistIndex.
  bool HasNext() const;
  bool HasPrevious() const;
  bool PlayNext();
  bool PlayPrevious();

  // The status line for the receiver's state (empty: nothing to say).
  std::string StatusText() const;
  // Seconds played of the current stream, across chain links (0 without one).
  double Position() const;

  tOggThreadManager* Stream() const { return Manager.get(); }
  // The current stream's id (0 without one); ids rise and are never reused.
  uint64_t StreamId() const;
  const tPlaylist& Playlist() const { return CurrentPlaylist; }
  // The playlist viewer loads another list into it; the next entry played is then the one picked.
  tPlaylist& EditPlaylist() {
    EntryOptions.reset();  // what the user picks there plays as the user's own choice
    return CurrentPlaylist;
  }
  int32_t PlaylistIndex() const { return Index; }
  const std::string& CurrentURL() const { return URL; }
  const std::string& Title() const { return StreamTitle; }
  bool UserClosed() const { return Closed; }
  // How the last stream ended: the receiver's state and error code when it reported progress 6.
  uint8_t EndState() const { return LastState; }
  uint8_t EndError() const { return LastError; }

  // --- Recording ---
  // A network stream is open (a local file is a file already, and is never recorded).
  bool CanRecord() const;
  // Recording, or waiting for the stream's headers to begin.
  bool IsRecording() const { return Recording; }
  // Starts recording the current stream into `target`: a file that does not exist yet, or a folder to make
  // the file in; empty: the user's music folder (videos folder for a stream with pictures). Before the
  // stream's headers have been read it waits for them (the folder and extension depend on them). False,
  // with a notice, when refused or when the file cannot be made.
  bool StartRecording(const std::string& target = {});
  // Ends the recording (its notice names the file).
  void StopRecording();
  // The Record command: starts or stops.
  void ToggleRecording();
  // The file being recorded, or the last one (empty before the first).
  const std::string& RecordingPath() const { return RecordPath; }
  // Bytes written to it so far.
  int64_t RecordedBytes() const;

  // Without settings: the receiver's options for the streams opened from now on.
  tReceiverOptions Options;

 private:
  void Progress(int code);
  void StreamHeadersRead();
  void PlayTextAsPlaylist();
  // Opens `url` with the given receiver options (null: the user's own, from the settings).
  void Open(const std::string& url, const tReceiverOptions* options);
  void NextEntry();
  // Posted with the current stream's id: a stream opened meanwhile cancels it.
  void PostNextEntry();
  void RecordRecent();
  // Makes the file and attaches the recorder to the stream; false (with a notice) when it cannot.
  bool BeginRecording();
  // Detaches and finishes the recorder; `notice` goes to the information line (none when empty).
  void EndRecording(const std::string& notice);

  tStreamView& View;
  tMessageTarget& Messages;
  tPlayerSettings* Settings;
  std::unique_ptr<tOggThreadManager> Manager;
  tPlaylist CurrentPlaylist;
  int32_t Index = 0;
  std::string URL;
  std::string StreamTitle;
  std::string OpenedByUser;
  // The receiver options for the entries of a playlist a server sent (bounded in depth, and only stream
  // addresses when it came from the network); empty while the playlist is the user's.
  std::optional<tReceiverOptions> EntryOptions;
  bool Closed = false;
  bool ShowDisconnected = false;
  uint8_t LastState = RS_IDLE;
  uint8_t LastError = RE_NONE;
  bool HeadersRead = false;  // the current stream's headers were read (progress 8)
  bool Recording = false;
  std::string RecordTarget;  // what StartRecording was given
  std::string RecordPath;
  std::shared_ptr<tStreamRecorder> Recorder;  // null while waiting for headers or not recording
  intptr_t RecordingId = 0;  // rises with each recording: a late message of an old one is stale
  int64_t LastRecordedBytes = 0;
};

}  // namespace ktv
