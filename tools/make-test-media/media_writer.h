// Deterministic Ogg test media: a moving test pattern as Theora, a tone with regular clicks as Vorbis or
// Opus, optionally an extra logical stream of unknown kind, in one or more chained links.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct tLinkOptions {
  int Width = 320, Height = 240;   // picture size; the coded frame is rounded up to 16
  int OffsetX = -1, OffsetY = -1;  // picture offset from the frame's top left (-1: centred, even)
  int FpsNum = 25, FpsDen = 1;
  int AspectNum = 0, AspectDen = 0;  // 0:0 = unknown
  int PixelFormat = 420;             // 420, 422 or 444
  int Quality = 48;                  // Theora quality 0..63
  int VideoKbps = 0;                 // Theora target bit rate (named in its header); 0 = by quality
  int KeyframeInterval = 64;
  double Seconds = 2.0;
  int Rate = 44100, Channels = 2;          // Opus: sound at 48 kHz, Rate only named in the header
  double ToneHz = 440.0, ToneLevel = 0.5;  // sine amplitude as a fraction of full scale
  std::vector<double> ChannelTones;        // a tone per channel (channels beyond the list: ToneHz)
  double ClickHz = 2.0;                    // clicks per second (0 = none)
  bool Video = true, Audio = true;
  bool Opus = false;        // the sound as Opus instead of Vorbis
  int OpusGain = 0;         // the output gain named in the Opus header (Q7.8 dB)
  std::string ExtraStream;  // first packet of an extra stream after a 0x01 byte (empty = none)
  bool ExtraRaw = false;    // the first packet is ExtraStream as it stands (a codec's own identification)
  std::vector<std::string> VideoComments, AudioComments;
};

// Writes the links one after the other into `out`. When `y4m`/`wav` are given, the exact pictures (picture
// region, in the stream's chroma layout) and the exact 16-bit sound that were fed to the encoders are written
// there too, so tests can compare decoded output with them. Returns false on an encoder failure.
// The rate of the link's sound as decoded.
int SoundRate(const tLinkOptions& o);

bool WriteTestMedia(const std::vector<tLinkOptions>& links, FILE* out, FILE* y4m, FILE* wav);
