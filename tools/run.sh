#!/usr/bin/env bash
# Starts the program on the sample project, generated into the build folder on first use.
# Without a display it runs under Xvfb for a few seconds and saves a screenshot to the build folder;
# that run keeps its settings in the build folder and answers a first-start question with No.
set -euo pipefail
build=${1:-build}
sample="$(pwd)/$build/sample"
if [ ! -f "$sample/sample.jex4" ] && [ -x "$build/samples/make_sample_project" ]; then
  QT_QPA_PLATFORM=offscreen "$build/samples/make_sample_project" "$sample"
fi
args=()
[ -f "$sample/sample.jex4" ] && args+=("$sample/sample.jex4")

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/app/jex4" "${args[@]}"
fi

shot="$build/screenshot.png"
echo "No display: running under Xvfb, screenshot goes to $shot"
home="$(pwd)/$build/xvfb-home"
mkdir -p "$home"
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
  "$1" "${@:3}" &
  pid=$!
  sleep 4
  # The first start asks whether .jex4 files should open with this program. Without a window
  # manager the box needs the input focus before it takes the key.
  if win=$(xdotool search --onlyvisible --name "^Confirm" 2>/dev/null | tail -n 1) && [ -n "$win" ]; then
    xdotool windowfocus --sync "$win" key n 2>/dev/null || true
  fi
  sleep 3
  import -window root "$2"
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
' _ "$build/app/jex4" "$shot" "${args[@]}"
echo "Saved $shot"
