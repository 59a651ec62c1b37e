#!/usr/bin/env bash
# CPU cost of the window against the command-line player: both play the same generated 720p file for the
# same time; the window with the raster back-end and the default settings (film grain on), under xvfb-run.
#   goal: the window costs at most twice the CPU time of kestrova-cli play
# Usage: bench/window_cpu.sh [BUILD_DIR] [SECONDS]   (default: build, 15 s)
# KTV_CLI and KTV_TV name other programs to time (an earlier build kept aside, for a comparison).
# KTV_CLIP names a 1280x720 clip made before, at least SECONDS + 5 long (encoding one takes minutes).
# Everything runs in a temporary folder (its own configuration, cache and runtime folders); the programs
# it starts are ended by their process ids.
set -u
build=${1:-build}
seconds=${2:-15}
cli=${KTV_CLI:-$build/src/cli/kestrova-cli}
tv=${KTV_TV:-$build/src/app/kestrova-tv}
media=$build/tools/make-test-media
for tool in "$cli" "$tv" "$media"; do
  [ -x "$tool" ] || { echo "window_cpu: build $tool first" >&2; exit 2; }
done
command -v xvfb-run >/dev/null || { echo "window_cpu: install xvfb" >&2; exit 2; }
cli=$(realpath "$cli")
tv=$(realpath "$tv")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME/kestrova" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export SDL_AUDIODRIVER=dummy

# A few seconds longer than the run, so that both play all the time they are measured.
clip=${KTV_CLIP:-}
if [ -z "$clip" ]; then
  clip=$work/clip.ogg
  "$media" "$clip" --width 1280 --height 720 --fps 25 --seconds $((seconds + 5)) >/dev/null || exit 1
fi
clip=$(realpath "$clip")

# Settings: the defaults, with the raster back-end chosen (a stored 0 is kept as the user's choice).
python3 - "$XDG_CONFIG_HOME/kestrova/settings" <<'EOF' || exit 1
import sys
body = "KestrovaRegistry 1\n[Software\\Halcyra Interactive\\Kestrova\\Player]\nUseDirectX=0\n"
h = 2166136261
for c in body.encode():
    h = ((h ^ c) * 16777619) & 0xFFFFFFFF
open(sys.argv[1], "w").write(body + "end %08X\n" % h)
EOF

# The command-line player: it ends itself after the time given.
/usr/bin/time -f "%U %S" -o "$work/cli_time" "$cli" play "$clip" --seconds "$seconds" >/dev/null 2>&1 ||
  { echo "window_cpu: kestrova-cli play failed" >&2; exit 1; }
cli_cpu=$(awk '{ printf "%.2f\n", $1 + $2 }' "$work/cli_time")

# The window, for the same time from its start; measured from inside the X session, then ended.
tv_cpu=$(xvfb-run -a -s "-screen 0 1920x1200x24 -nolisten tcp" bash -c '
  "$1" "$2" >/dev/null 2>&1 &
  pid=$!
  sleep "$3"
  # User + system CPU seconds of all its threads, from /proc/PID/stat (fields 14 and 15).
  awk -v hz="$(getconf CLK_TCK)" "{ sub(/.*\\) /, \"\"); printf \"%.2f\\n\", (\$12 + \$13) / hz }" \
    "/proc/$pid/stat"
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exit 0' window_cpu "$tv" "$clip" "$seconds")

awk -v tv="$tv_cpu" -v cli="$cli_cpu" -v s="$seconds" 'BEGIN {
  printf "kestrova-cli play  %6.2f CPU s for %d s of 1280x720\n", cli, s
  printf "kestrova-tv        %6.2f CPU s (raster back-end, default settings)\n", tv
  if (cli > 0) printf "ratio              %6.2f  (goal <= 2)\n", tv / cli
}'
