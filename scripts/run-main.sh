#!/usr/bin/env bash
# The main job behind `make run`: start the player on the demo doughnut video
# that the build made (build-release/bin/demo-doughnut.mp4).
set -euo pipefail
build="${1:-build-release}"
bin="$build/bin"
player="$bin/hvplayer"
demo="$bin/demo-doughnut.mp4"

if [[ ! -x "$player" ]]; then
    echo "run-main: $player is missing; build first (make release)." >&2
    exit 1
fi
if [[ ! -f "$demo" ]]; then
    cmake --build "$build" --target hvplayer_demo_video
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    cat >&2 <<MSG
run-main: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set),
so the player window cannot be shown. On a headless machine start a virtual one:
    Xvfb :99 -screen 0 1280x1024x24 &
    DISPLAY=:99 make run
MSG
    exit 1
fi
echo "Starting $player on $demo"
exec "$player" "$demo"
