#!/usr/bin/env bash
# Installs what is missing, builds, and opens the program's window.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Built $root/build/app/acelerometro, but there is no display to open its window on" >&2
    echo "(neither DISPLAY nor WAYLAND_DISPLAY is set). Run this from a desktop session," >&2
    echo "or under a virtual display: xvfb-run -s '-screen 0 1024x768x24' $0" >&2
    exit 1
fi
exec "$root/build/app/acelerometro"
