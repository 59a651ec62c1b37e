#include "media_writer.h"

#include <ogg/ogg.h>
#include <opus/opus_multistream.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct tPage {
  std::vector<unsigned char> Bytes;
  double Time;  // seconds at the end of the page, within the link
  int Order;    // ties: video, audio, extra
};

void KeepPage(const ogg_page& og, double time, int order, std::vector<tPage>& pages) {
  tPage p;
  p.Bytes.assign(og.header, og.header + og.header_len);
  p.Bytes.insert(p.Bytes.end(), og.body, og.body + og.body_len);
  p.Time = time;
  p.Order = order;
  pages.push_back(std::move(p));
}

// Smooth moving pattern with a bright moving box: compresses well, so decoded pictures stay close to it.
unsigned char PatternY(int x, int y, int frame, int width, int height) {
  int box = std::max(4, height / 4);
  int boxX = (frame * 4) % std::max(1, width);
  int boxY = height / 3;
  if (x >= boxX && x < boxX + box && y >= boxY && y < boxY + box) return 225;
  double v = 126 + 90 * std::sin(x * 0.07 + frame * 0.2) * std::cos(y * 0.05);
  return static_cast<unsigned char>(std::lround(v));
}
unsigned char PatternU(int x, int y, int frame) {
  return static_cast<unsigned char>(std::lround(128 + 60 * std::sin(x * 0.03 + y * 0.02 + frame * 0.1)));
}
unsigned char PatternV(int x, int y, int) {
  return static_cast<unsigned char>(std::lround(128 + 60 * std::cos(x * 0.025 - y * 0.03)));
}

int Ilog(unsigned v) {
  int r = 0;
  while (v) ++r, v >>= 1;
  return r;
}

struct tWavState {
  long DataStart = -1;
  uint32_t DataBytes = 0;
  int Rate = 0, Channels = 0;
};

void Put32(FILE* f, uint32_t v) {
  unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                        static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
  std::fwrite(b, 1, 4, f);
}
void Put16(FILE* f, uint16_t v) {
  unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
  std::fwrite(b, 1, 2, f);
}

void WriteWavHeader(FILE* f, int rate, int channels, uint32_t dataBytes) {
  std::fwrite("RIFF", 1, 4, f);
  Put32(f, 36 + dataBytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  Put32(f, 16);
  Put16(f, 1);
  Put16(f, static_cast<uint16_t>(channels));
  Put32(f, static_cast<uint32_t>(rate));
  Put32(f, static_cast<uint32_t>(rate * channels * 2));
  Put16(f, static_cast<uint16_t>(channels * 2));
  Put16(f, 16);
  std::fwrite("data", 1, 4, f);
  Put32(f, dataBytes);
}

bool EncodeVideo(const tLinkOptions& o, int serial, std::vector<tPage>& head, std::vector<tPage>& data,
                 FILE* y4m, bool writeRaw) {
  th_info ti;
  th_info_init(&ti);
  // A given offset grows the frame to hold the picture there; odd offsets split chroma samples, which every
  // layout allows.
  ti.frame_width = static_cast<ogg_uint32_t>((std::max(o.OffsetX, 0) + o.Width + 15) & ~15);
  ti.frame_height = static_cast<ogg_uint32_t>((std::max(o.OffsetY, 0) + o.Height + 15) & ~15);
  ti.pic_width = static_cast<ogg_uint32_t>(o.Width);
  ti.pic_height = static_cast<ogg_uint32_t>(o.Height);
  ti.pic_x =
      o.OffsetX >= 0 ? static_cast<ogg_uint32_t>(o.OffsetX) : ((ti.frame_width - ti.pic_width) >> 1) & ~1u;
  ti.pic_y =
      o.OffsetY >= 0 ? static_cast<ogg_uint32_t>(o.OffsetY) : ((ti.frame_height - ti.pic_height) >> 1) & ~1u;
  ti.fps_numerator = static_cast<ogg_uint32_t>(o.FpsNum);
  ti.fps_denominator = static_cast<ogg_uint32_t>(o.FpsDen);
  ti.aspect_numerator = static_cast<ogg_uint32_t>(o.AspectNum);
  ti.aspect_denominator = static_cast<ogg_uint32_t>(o.AspectDen);
  ti.colorspace = TH_CS_UNSPECIFIED;
  ti.pixel_fmt = o.PixelFormat == 444 ? TH_PF_444 : (o.PixelFormat == 422 ? TH_PF_422 : TH_PF_420);
  ti.target_bitrate = o.VideoKbps > 0 ? o.VideoKbps * 1000 : 0;
  ti.quality = o.Quality;
  ti.keyframe_granule_shift = std::max(1, Ilog(static_cast<unsigned>(o.KeyframeInterval - 1)));
  th_enc_ctx* enc = th_encode_alloc(&ti);
  if (!enc) return false;
  int keyint = o.KeyframeInterval;
  th_encode_ctl(enc, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &keyint, sizeof keyint);

  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  th_comment tc;
  th_comment_init(&tc);
  for (const std::string& c : o.VideoComments) th_comment_add(&tc, const_cast<char*>(c.c_str()));
  ogg_packet op;
  ogg_page og;
  bool first = true;
  while (th_encode_flushheader(enc, &tc, &op) > 0) {
    ogg_stream_packetin(&os, &op);
    if (first) {  // the identification header has a page of its own
      while (ogg_stream_flush(&os, &og)) KeepPage(og, 0, 0, head);
      first = false;
    }
  }
  while (ogg_stream_flush(&os, &og)) KeepPage(og, 0, 0, head);
  th_comment_clear(&tc);

  int cw = o.PixelFormat == 444 ? 1 : 2;  // chroma subsampling
  int ch = o.PixelFormat == 420 ? 2 : 1;
  int fw = static_cast<int>(ti.frame_width), fh = static_cast<int>(ti.frame_height);
  int px = static_cast<int>(ti.pic_x), py = static_cast<int>(ti.pic_y);
  std::vector<unsigned char> y(static_cast<size_t>(fw * fh)), u(static_cast<size_t>(fw / cw * fh / ch)),
      v(u.size());
  int frames = std::max(1, static_cast<int>(std::lround(o.Seconds * o.FpsNum / o.FpsDen)));
  double lastTime = 0;
  for (int f = 0; f < frames; ++f) {
    std::fill(y.begin(), y.end(), 16);
    std::fill(u.begin(), u.end(), 128);
    std::fill(v.begin(), v.end(), 128);
    for (int r = 0; r < o.Height; ++r)
      for (int c = 0; c < o.Width; ++c) y[(py + r) * fw + px + c] = PatternY(c, r, f, o.Width, o.Height);
    int pcw = (o.Width + cw - 1) / cw, pch = (o.Height + ch - 1) / ch;
    for (int r = 0; r < pch; ++r)
      for (int c = 0; c < pcw; ++c) {
        size_t at = static_cast<size_t>((py / ch + r) * (fw / cw) + px / cw + c);
        u[at] = PatternU(c * cw, r * ch, f);
        v[at] = PatternV(c * cw, r * ch, f);
      }
    if (y4m && writeRaw) {
      std::fputs("FRAME\n", y4m);
      for (int r = 0; r < o.Height; ++r) std::fwrite(&y[(py + r) * fw + px], 1, o.Width, y4m);
      for (auto* plane : {&u, &v})
        for (int r = 0; r < pch; ++r)
          std::fwrite(&(*plane)[(py / ch + r) * (fw / cw) + px / cw], 1, pcw, y4m);
    }
    th_ycbcr_buffer buf;
    buf[0] = {fw, fh, fw, y.data()};
    buf[1] = {fw / cw, fh / ch, fw / cw, u.data()};
    buf[2] = {fw / cw, fh / ch, fw / cw, v.data()};
    if (th_encode_ycbcr_in(enc, buf) != 0) return false;
    while (th_encode_packetout(enc, f == frames - 1, &op) > 0) {
      ogg_stream_packetin(&os, &op);
      while (ogg_stream_pageout(&os, &og)) {
        ogg_int64_t gp = ogg_page_granulepos(&og);
        if (gp >= 0) lastTime = th_granule_time(enc, gp);
        KeepPage(og, lastTime, 0, data);
      }
    }
  }
  while (ogg_stream_flush(&os, &og)) {
    ogg_int64_t gp = ogg_page_granulepos(&og);
    if (gp >= 0) lastTime = th_granule_time(enc, gp);
    KeepPage(og, lastTime, 0, data);
  }
  ogg_stream_clear(&os);
  th_encode_free(enc);
  th_info_clear(&ti);
  return true;
}

// `n` frames of the link's sound from frame `at` on, interleaved, at `rate`: a tone per channel with regular
// clicks.
std::vector<int16_t> ToneFrames(const tLinkOptions& o, int rate, long at, long n) {
  std::vector<int16_t> pcm(static_cast<size_t>(n * o.Channels));
  for (long i = 0; i < n; ++i) {
    double t = static_cast<double>(at + i) / rate;
    double click = 0;
    if (o.ClickHz > 0) {
      double since = std::fmod(t, 1.0 / o.ClickHz);
      // A short bright knock (1.2 and 2.5 kHz) rising well above the tone where a beat detector listens.
      if (since < 0.04)
        click = 0.4 * std::exp(-since * 60) *
                (std::sin(2 * kPi * 1200 * since) + 0.6 * std::sin(2 * kPi * 2500 * since));
    }
    for (int c = 0; c < o.Channels; ++c) {
      double hz =
          c < static_cast<int>(o.ChannelTones.size()) ? o.ChannelTones[static_cast<size_t>(c)] : o.ToneHz;
      double s = std::clamp(o.ToneLevel * std::sin(2 * kPi * hz * t) + click, -1.0, 1.0);
      pcm[static_cast<size_t>(i * o.Channels + c)] = static_cast<int16_t>(std::lround(s * 32767));
    }
  }
  return pcm;
}

void WriteWavFrames(const std::vector<int16_t>& pcm, FILE* wav, tWavState* wavState) {
  if (!wav || !wavState) return;
  for (int16_t v : pcm) Put16(wav, static_cast<uint16_t>(v));
  wavState->DataBytes += static_cast<uint32_t>(pcm.size() * 2);
}

bool EncodeVorbis(const tLinkOptions& o, int serial, std::vector<tPage>& head, std::vector<tPage>& data,
                  FILE* wav, tWavState* wavState) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, o.Channels, o.Rate, 0.4f) != 0) return false;
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  for (const std::string& c : o.AudioComments) vorbis_comment_add(&vc, c.c_str());
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  ogg_packet h, hc, hcode, op;
  ogg_page og;
  vorbis_analysis_headerout(&vd, &vc, &h, &hc, &hcode);
  ogg_stream_packetin(&os, &h);
  while (ogg_stream_flush(&os, &og)) KeepPage(og, 0, 1, head);
  ogg_stream_packetin(&os, &hc);
  ogg_stream_packetin(&os, &hcode);
  while (ogg_stream_flush(&os, &og)) KeepPage(og, 0, 1, head);

  long total = std::lround(o.Seconds * o.Rate);
  const long step = 1024;
  double lastTime = 0;
  auto drain = [&] {
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &og)) {
          ogg_int64_t gp = ogg_page_granulepos(&og);
          if (gp >= 0) lastTime = vorbis_granule_time(&vd, gp);
          KeepPage(og, lastTime, 1, data);
        }
      }
    }
  };
  for (long at = 0; at < total; at += step) {
    long n = std::min(step, total - at);
    float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
    std::vector<int16_t> pcm = ToneFrames(o, o.Rate, at, n);
    for (long i = 0; i < n; ++i)
      for (int c = 0; c < o.Channels; ++c)
        buffer[c][i] = pcm[static_cast<size_t>(i * o.Channels + c)] / 32768.0f;
    WriteWavFrames(pcm, wav, wavState);
    vorbis_analysis_wrote(&vd, static_cast<int>(n));
    drain();
  }
  vorbis_analysis_wrote(&vd, 0);
  drain();
  while (ogg_stream_flush(&os, &og)) KeepPage(og, lastTime, 1, data);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return true;
}

void PutLe(std::string& out, uint32_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

// Opus at 48 kHz, packed into Ogg here: the identification and comment headers on pages of their own, then
// 20 ms packets whose positions count the pre-skip (the encoder's lookahead); the last page's position cuts
// the padding of the last packet away. `o.Rate` is only named in the header, as the rate of the original.
bool EncodeOpus(const tLinkOptions& o, int serial, std::vector<tPage>& head, std::vector<tPage>& data,
                FILE* wav, tWavState* wavState) {
  constexpr int kRate = 48000, kFrame = 960;
  const int family = o.Channels > 2 ? 1 : 0;
  int streams = 0, coupled = 0, error = 0;
  unsigned char mapping[8] = {};
  OpusMSEncoder* enc = opus_multistream_surround_encoder_create(kRate, o.Channels, family, &streams, &coupled,
                                                                mapping, OPUS_APPLICATION_AUDIO, &error);
  if (!enc || error != OPUS_OK) return false;
  opus_multistream_encoder_ctl(enc, OPUS_SET_BITRATE(48000 * o.Channels));
  opus_int32 lookahead = 0;
  opus_multistream_encoder_ctl(enc, OPUS_GET_LOOKAHEAD(&lookahead));

  std::string idHeader = "OpusHead";
  idHeader += static_cast<char>(1);
  idHeader += static_cast<char>(o.Channels);
  PutLe(idHeader, static_cast<uint32_t>(lookahead), 2);
  PutLe(idHeader, static_cast<uint32_t>(o.Rate), 4);
  PutLe(idHeader, static_cast<uint16_t>(o.OpusGain), 2);
  idHeader += static_cast<char>(family);
  if (family == 1) {
    idHeader += static_cast<char>(streams);
    idHeader += static_cast<char>(coupled);
    idHeader.append(reinterpret_cast<const char*>(mapping), static_cast<size_t>(o.Channels));
  }
  std::string tags = "OpusTags";
  std::string vendor = opus_get_version_string();
  PutLe(tags, static_cast<uint32_t>(vendor.size()), 4);
  tags += vendor;
  PutLe(tags, static_cast<uint32_t>(o.AudioComments.size()), 4);
  for (const std::string& c : o.AudioComments) {
    PutLe(tags, static_cast<uint32_t>(c.size()), 4);
    tags += c;
  }

  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  ogg_page og;
  int64_t packetNo = 0;
  auto put = [&](const std::string& bytes, int64_t granule, bool bos, bool eos) {
    ogg_packet op{};
    op.packet = reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data()));
    op.bytes = static_cast<long>(bytes.size());
    op.b_o_s = bos;
    op.e_o_s = eos;
    op.granulepos = granule;
    op.packetno = packetNo++;
    ogg_stream_packetin(&os, &op);
  };
  put(idHeader, 0, true, false);
  while (ogg_stream_flush(&os, &og)) KeepPage(og, 0, 1, head);
  put(tags, 0, false, false);
  while (ogg_stream_flush(&os, &og)) KeepPage(og, 0, 1, head);

  const long total = std::lround(o.Seconds * kRate);
  const long frames = (total + lookahead + kFrame - 1) / kFrame;  // enough to bring every sample out
  std::vector<unsigned char> packet(4000);
  for (long f = 0; f < frames; ++f) {
    const long at = f * kFrame;
    std::vector<int16_t> pcm =
        ToneFrames(o, kRate, at, std::clamp(total - at, 0L, static_cast<long>(kFrame)));
    WriteWavFrames(pcm, wav, wavState);
    pcm.resize(static_cast<size_t>(kFrame * o.Channels), 0);  // the last frame is padded with silence
    int bytes = opus_multistream_encode(enc, pcm.data(), kFrame, packet.data(),
                                        static_cast<opus_int32>(packet.size()));
    if (bytes < 0) return false;
    const bool last = f == frames - 1;
    const int64_t granule = last ? total + lookahead : (f + 1) * kFrame;
    put(std::string(reinterpret_cast<char*>(packet.data()), static_cast<size_t>(bytes)), granule, false,
        last);
    while (last ? ogg_stream_flush(&os, &og) : ogg_stream_pageout(&os, &og))
      KeepPage(og, static_cast<double>(ogg_page_granulepos(&og) - lookahead) / kRate, 1, data);
  }
  ogg_stream_clear(&os);
  opus_multistream_encoder_destroy(enc);
  return true;
}

void EncodeExtra(const tLinkOptions& o, int serial, std::vector<tPage>& head, std::vector<tPage>& data) {
  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  std::string first = o.ExtraRaw ? o.ExtraStream : "\x01" + o.ExtraStream;
  ogg_packet op{};
  op.packet = reinterpret_cast<unsigned char*>(first.data());
  op.bytes = static_cast<long>(first.size());
  op.b_o_s = 1;
  op.granulepos = 0;
  ogg_stream_packetin(&os, &op);
  ogg_page og;
  while (ogg_stream_flush(&os, &og)) KeepPage(og, 0, 2, head);
  int seconds = std::max(1, static_cast<int>(o.Seconds));
  for (int s = 1; s <= seconds; ++s) {
    std::string payload = "extra data " + std::to_string(s);
    op = {};
    op.packet = reinterpret_cast<unsigned char*>(payload.data());
    op.bytes = static_cast<long>(payload.size());
    op.granulepos = s;
    op.packetno = s;
    op.e_o_s = s == seconds;
    ogg_stream_packetin(&os, &op);
    while (ogg_stream_flush(&os, &og)) KeepPage(og, s - 0.5, 2, data);
  }
  ogg_stream_clear(&os);
}

}  // namespace

int SoundRate(const tLinkOptions& o) {
  return o.Opus ? 48000 : o.Rate;
}

bool WriteTestMedia(const std::vector<tLinkOptions>& links, FILE* out, FILE* y4m, FILE* wav) {
  tWavState wavState;
  const tLinkOptions& first = links.front();
  if (y4m && first.Video) {
    const char* c = first.PixelFormat == 444 ? "C444" : (first.PixelFormat == 422 ? "C422" : "C420jpeg");
    std::fprintf(y4m, "YUV4MPEG2 W%d H%d F%d:%d Ip A%d:%d %s\n", first.Width, first.Height, first.FpsNum,
                 first.FpsDen, first.AspectNum, first.AspectDen, c);
  }
  if (wav && first.Audio) {
    WriteWavHeader(wav, SoundRate(first), first.Channels, 0);
    wavState.DataStart = std::ftell(wav);
  }
  for (size_t l = 0; l < links.size(); ++l) {
    const tLinkOptions& o = links[l];
    int base = 0x4b540000 + static_cast<int>(l) * 16;
    std::vector<tPage> bos, head, data;
    std::vector<tPage> vHead, aHead, xHead;
    bool sameVideo = first.Video && o.Video && o.Width == first.Width && o.Height == first.Height &&
                     o.PixelFormat == first.PixelFormat;
    bool sameAudio =
        first.Audio && o.Audio && SoundRate(o) == SoundRate(first) && o.Channels == first.Channels;
    if (o.Video && !EncodeVideo(o, base + 1, vHead, data, y4m, sameVideo)) return false;
    auto encodeAudio = o.Opus ? EncodeOpus : EncodeVorbis;
    if (o.Audio && !encodeAudio(o, base + 2, aHead, data, sameAudio ? wav : nullptr, &wavState)) return false;
    if (!o.ExtraStream.empty()) EncodeExtra(o, base + 3, xHead, data);
    // Every beginning-of-stream page first (video, audio, extra), then the remaining headers, then the data
    // pages in time order.
    for (auto* h : {&vHead, &aHead, &xHead}) {
      if (h->empty()) continue;
      bos.push_back(h->front());
      head.insert(head.end(), h->begin() + 1, h->end());
    }
    std::stable_sort(data.begin(), data.end(), [](const tPage& a, const tPage& b) {
      return a.Time != b.Time ? a.Time < b.Time : a.Order < b.Order;
    });
    for (auto* list : {&bos, &head, &data})
      for (const tPage& p : *list)
        if (std::fwrite(p.Bytes.data(), 1, p.Bytes.size(), out) != p.Bytes.size()) return false;
  }
  if (wav && wavState.DataStart >= 0) {
    std::fseek(wav, 0, SEEK_SET);
    WriteWavHeader(wav, SoundRate(first), first.Channels, wavState.DataBytes);
  }
  return true;
}
