#!/usr/bin/env bash
# Seeds for the answer header near its bounds: a line of 8 KiB and a header of short lines around
# 64 KiB, each followed by the start of a body. $1: output folder ($2, the generator, is not needed).
set -euo pipefail
out=$1
{
  printf 'ICY 200 OK\r\nX-Long: '
  head -c 8180 /dev/zero | tr '\0' 'L'
  printf '\r\n\r\nOggS'
} >"$out/long-line"
{
  printf 'HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n'
  for i in $(seq 1 1150); do printf 'X-Filler-%04d: %040d\r\n' "$i" 0; done
  printf '\r\nOggS'
} >"$out/many-lines"
