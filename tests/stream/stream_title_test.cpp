#include "stream/stream_title.h"

#include <gtest/gtest.h>

namespace ktv {
namespace {

TEST(StreamTitle, TitlesAndStatusTexts) {
  struct {
    std::string got, expect;
    const char* note;
  } rows[] = {
      {BuildStreamTitle(" Radio K ", " Tones ", "", "http://h/s"), "Radio K - Tones", "name and description"},
      {BuildStreamTitle("Radio K", "", "A - B", "http://h/s"), "Radio K: A - B", "no description"},
      {BuildStreamTitle("", "Tones", "", "http://h/s"), "Tones", "description alone, no separator"},
      {BuildStreamTitle("", "", "Song", "http://h/s"), "Song", "comment title alone"},
      {BuildStreamTitle("  ", "", "", "http://h/s"), "http://h/s", "nothing: the address"},
      {CommentTitle({"title=Vid", "ENCODER=x"}, {"ARTIST=Band", "TITLE= Song "}), "Band - Song",
       "audio lines come later and win; any case"},
      {CommentTitle({"ARTIST=Only"}, {}), "Only", "artist alone"},
      {CommentTitle({"TITLE"}, {"TITLEX=no"}), "", "prefixes must match exactly"},
      {ReceiverStatusText(1, 0), "Connecting to Stream...", ""},
      {ReceiverStatusText(3, 0), "Reading Stream Headers...", ""},
      {ReceiverStatusText(4, 128), "Kestrova.tv Player [Buffering Stream: 50%] - Please Wait...",
       "level 128"},
      {ReceiverStatusText(4, 255), "Kestrova.tv Player [Buffering Stream: 99%] - Please Wait...", "div 256"},
      {ReceiverStatusText(5, 255), "", "playing shows nothing"},
  };
  for (const auto& r : rows) EXPECT_EQ(r.got, r.expect) << r.note;
}

}  // namespace
}  // namespace ktv
