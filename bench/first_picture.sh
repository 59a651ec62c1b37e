#!/usr/bin/env bash
# Time to the first picture, as "first_picture_ms" reports it: from the stream's opening (the decoding thread's
# manager made) to the first picture a player took.
#   file     kestrova-cli play on a local file                                  goal: under 150 ms
#   live N   kestrova-cli play --buffer N (3, 1) on a 127.0.0.1 stream sent in real time  goal: N s + 150 ms
#   raster   kestrova-tv --screenshot on a local file, under xvfb-run, each back-end  goal: under 400 ms
#   gl
# Usage: bench/first_picture.sh [BUILD_DIR] [RUNS]   (default: build, 7 runs; prints median, min and max)
# KTV_CLI and KTV_TV name other programs to time (an earlier build kept aside, for a comparison).
# Everything runs in a temporary folder (its own configuration, cache and runtime folders); the stream server
# and the players it starts are ended by their process ids.
set -u
build=${1:-build}
runs=${2:-7}
cli=${KTV_CLI:-$build/src/cli/kestrova-cli}
tv=${KTV_TV:-$build/src/app/kestrova-tv}
media=$build/tools/make-test-media
for tool in "$cli" "$media"; do
  [ -x "$tool" ] || { echo "first_picture: build $tool first" >&2; exit 2; }
done

work=$(mktemp -d)
server=""
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export SDL_AUDIODRIVER=dummy

# The README's demo clip: 640x360, 25 fps, stereo Vorbis.
clip=$work/clip.ogg
"$media" "$clip" --width 640 --height 360 --fps 25 --seconds 10 >/dev/null || exit 1
# The live stream's encoder names a bit rate, as a station's does (the receiver sizes its queue from it).
live=$work/live.ogg
"$media" "$live" --width 640 --height 360 --fps 25 --kbps 420 --seconds 10 >/dev/null || exit 1

# The number after "first_picture_ms": in a JSON line on standard input ("null" when there was none).
first_picture() { grep -o '"first_picture_ms":[^,}]*' | tail -1 | cut -d: -f2; }

summary() {  # name goal values...
  local name=$1 goal=$2
  shift 2
  printf '%s\n' "$@" | sort -n | awk -v name="$name" -v goal="$goal" '
    /^[0-9]+$/ { v[n++] = $1 } !/^[0-9]+$/ { missing++ }
    END {
      if (n == 0) { printf "%-8s no picture in %d runs\n", name, missing; exit }
      printf "%-8s median %5d ms  min %5d  max %5d  (%d runs%s)  goal < %d ms\n", name, v[int((n - 1) / 2)],
             v[0], v[n - 1], n, missing ? ", " missing " without a picture" : "", goal
    }'
}

# A local file.
values=()
for _ in $(seq "$runs"); do
  values+=("$("$cli" play "$clip" --output ring --seconds 1 --stats 2>/dev/null | first_picture)")
done
summary file 150 "${values[@]}"

# A live stream on 127.0.0.1: the clip sent at its own byte rate, without a length, as a station sends.
python3 - "$live" 10 >"$work/port" <<'EOF' &
import socket, sys, threading, time
data = open(sys.argv[1], "rb").read()
rate = len(data) / float(sys.argv[2])  # bytes a second
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(8)
print(listener.getsockname()[1], flush=True)

def serve(conn):
    try:
        conn.recv(65536)
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: application/ogg\r\n\r\n")
        start, sent = time.monotonic(), 0
        while sent < len(data):
            due = min(len(data), int((time.monotonic() - start) * rate) + 4096)
            if due > sent:
                conn.sendall(data[sent:due])
                sent = due
            time.sleep(0.01)
    except OSError:
        pass
    finally:
        conn.close()

while True:
    conn, _ = listener.accept()
    threading.Thread(target=serve, args=(conn,), daemon=True).start()
EOF
server=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -1 "$work/port")
for buffer in 3 1; do
  values=()
  for _ in $(seq "$runs"); do
    values+=("$("$cli" play "http://127.0.0.1:$port/live.ogg" --output ring --buffer "$buffer" \
      --seconds $((buffer + 3)) --stats 2>/dev/null | first_picture)")
  done
  summary "live $buffer" $((buffer * 1000 + 150)) "${values[@]}"
done
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
server=""

# The window, with each back-end.
if [ -x "$tv" ] && command -v xvfb-run >/dev/null; then
  for backend in raster gl; do
    values=()
    for i in $(seq "$runs"); do
      values+=("$(xvfb-run -a -s "-screen 0 1600x1200x24 -nolisten tcp" "$tv" --screenshot "$work/shots$i" \
        --after 1 --backend "$backend" "$clip" 2>/dev/null | first_picture)")
    done
    summary "$backend" 400 "${values[@]}"
  done
else
  echo "window  skipped: build $tv and install xvfb" >&2
fi
