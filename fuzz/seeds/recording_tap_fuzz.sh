#!/usr/bin/env bash
# Seeds for the recording tap: small generated clips, plain and chained.
# $1: output folder, $2: the test-media generator.
set -euo pipefail
out=$1
gen=$2
"$gen" "$out/plain.ogg" --width 16 --height 16 --seconds 0.3 --rate 8000 --channels 1 --quality 10
"$gen" "$out/chain.ogg" --width 16 --height 16 --seconds 0.2 --rate 8000 --channels 1 --quality 5 --link --no-video
