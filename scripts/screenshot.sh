#!/usr/bin/env bash
# Takes the README's screenshot from the running program: starts it on a
# virtual display with the simulated accelerometer open (--simulate --start,
# as choosing it in "Config. Serial" and clicking "Inicia" would), lets data
# arrive, and saves docs/acelerometro.png.
# Usage: scripts/screenshot.sh [seconds of data]   (default 8)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-8}"

need=()
for tool in xvfb-run:xvfb xdotool:xdotool import:imagemagick xauth:xauth; do
    command -v "${tool%%:*}" >/dev/null || need+=("${tool##*:}")
done
if [ ${#need[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
fi
"$root/scripts/deps.sh"
"$root/scripts/build.sh" >/dev/null

mkdir -p "$root/docs"
export ROOT="$root" SECONDS_OF_DATA="$seconds"
xvfb-run -a -s "-screen 0 640x400x24" bash -c '
    set -e
    "$ROOT/build/app/acelerometro" --simulate --start & pid=$!
    trap "kill $pid 2>/dev/null || true" EXIT
    wid=$(xdotool search --sync --name "^Form2$" | head -1)
    sleep "$SECONDS_OF_DATA"
    import -window "$wid" "$ROOT/docs/acelerometro.png"
'
echo "saved $root/docs/acelerometro.png"
