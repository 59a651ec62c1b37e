#!/usr/bin/env bash
# Seeds for the single-instance message reader: a hand-over of two arguments, none, and messages at and just
# past the 64 KiB bound (so the fuzzer's inputs grow large enough to reach it). The generator is not needed.
set -euo pipefail
out=$1
printf '\x80\x00\x00\x00\x1a\x00\x00\x00/tmp/a.ogv\x00--b.ogv\x00c d.ogg' >"$out/two"
printf '\x80\x00\x00\x00\x00\x00\x00\x00' >"$out/none"
{ printf '\x80\x00\x00\x00\x00\x00\x01\x00'; head -c 65536 /dev/zero | tr '\0' 'a'; } >"$out/bound"
{ printf '\x80\x00\x00\x00\x01\x00\x01\x00'; head -c 65537 /dev/zero | tr '\0' 'a'; } >"$out/past"
