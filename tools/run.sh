#!/usr/bin/env bash
# Starts the program on the sample project, generated into the build folder on first use.
# Without a display it runs under Xvfb for a few seconds and saves a screenshot to the build folder.
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
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
  "$1" "${@:3}" &
  pid=$!
  sleep 6
  import -window root "$2"
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
' _ "$build/app/jex4" "$shot" "${args[@]}"
echo "Saved $shot"
