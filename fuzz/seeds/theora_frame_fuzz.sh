#!/usr/bin/env bash
# Seeds for the Theora decoder and the picture converters: small generated clips in each chroma layout, of odd
# picture sizes and offsets. $1: output folder, $2: the test-media generator.
set -euo pipefail
out=$1
gen=$2
"$gen" "$out/420.ogg" --width 33 --height 17 --seconds 0.2 --no-audio --quality 10
"$gen" "$out/422.ogg" --width 35 --height 18 --offset 2:3 --pixfmt 422 --seconds 0.2 --no-audio --quality 10
"$gen" "$out/444.ogg" --width 37 --height 19 --offset 5:1 --pixfmt 444 --seconds 0.2 --no-audio --quality 10
"$gen" "$out/chain.ogg" --width 16 --height 16 --pixfmt 444 --seconds 0.1 --no-audio --link --pixfmt 422
