#!/usr/bin/env bash
# Seeds for the Opus stream: small generated clips (mono, 5.1, chained with Vorbis between).
# $1: output folder, $2: the test-media generator.
set -euo pipefail
out=$1
gen=$2
"$gen" "$out/mono.ogg" --no-video --opus --channels 1 --seconds 0.3
"$gen" "$out/surround.ogg" --no-video --opus --channels 6 --seconds 0.1 --gain -256
"$gen" "$out/chain.ogg" --no-video --opus --seconds 0.1 --link --vorbis --rate 8000 --channels 1 --link --opus
