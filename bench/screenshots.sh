#!/usr/bin/env bash
# Screenshots of the main window and the About window under an X server (Xvfb at 96 dpi, 1920 × 1080 or
# $SCREEN), with the desktop font set through the GTK settings at the given size and Qt scaled by the given
# factor.
#   bench/screenshots.sh OUTDIR [POINTS [SCALE]]
# Writes OUTDIR/kalmora-<POINTS>pt-x<SCALE>.png and OUTDIR/info-<POINTS>pt-x<SCALE>.png.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$1 points=${2:-9} scale=${3:-1}
program=${KALMORA:-build/app/kalmora}
[[ -x $program ]] || { echo "screenshots: $program fehlt (erst bauen)" >&2; exit 1; }
for tool in Xvfb:xvfb xwd:x11-apps pnmtopng:netpbm xdotool:xdotool; do
    command -v "${tool%%:*}" >/dev/null || apt-get install -y --no-install-recommends "${tool#*:}" >/dev/null
done
dpkg -s qt6-gtk-platformtheme >/dev/null 2>&1 || apt-get install -y --no-install-recommends qt6-gtk-platformtheme >/dev/null
mkdir -p "$out"

display=:$((90 + RANDOM % 9))
config=$(mktemp -d) # the GTK font setting, and the window place Kalmora stores, live here only
Xvfb "$display" -screen 0 "${SCREEN:-1920x1080}x24" -dpi 96 -nolisten tcp 2>/dev/null &
server=$!
trap 'kill ${kalmora:-} 2>/dev/null; wait ${kalmora:-} 2>/dev/null || true; kill $server; rm -rf "$config"' EXIT
mkdir -p "$config/gtk-3.0"
printf '[Settings]\ngtk-font-name=DejaVu Sans %s\n' "$points" >"$config/gtk-3.0/settings.ini"
export DISPLAY=$display XDG_CONFIG_HOME=$config QT_QPA_PLATFORMTHEME=gtk3 QT_SCALE_FACTOR=$scale
sleep 1

shoot() { # window id, file name
    sleep 1
    xwd -silent -id "$1" | xwdtopnm 2>/dev/null | pnmtopng >"$out/$2-${points}pt-x${scale}.png"
    echo "$out/$2-${points}pt-x${scale}.png"
}
"$program" &
kalmora=$!
main=$(xdotool search --sync --onlyvisible --name '^Kalmora$' | head -1)
shoot "$main" kalmora
xdotool windowfocus --sync "$main" key alt+f # "In&fo"
info=$(xdotool search --sync --onlyvisible --name '^Kalmora - Info$' | head -1)
shoot "$info" info
