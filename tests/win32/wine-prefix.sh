#!/usr/bin/env bash
# Makes the Wine prefix $WINEPREFIX (default ~/.wine) ready for the Windows window's tests and
# benchmark: brought up to date; a virtual desktop of 800x600, so that windows and message
# boxes open and close in milliseconds with no window manager on the X server; 96 DPI; and
# Wine's own fonts (Debian's fonts-wine: MS Sans Serif, Tahoma, Marlett for the caption
# buttons) in the prefix's Fonts folder, where this Wine looks for them. The stand-in for
# Verdana is DejaVu Sans (fonts-dejavu-core), which Wine finds through fontconfig.
# Quick when the prefix is ready already; safe to run again and again.
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_fonts=/usr/share/wine/fonts

for font in "$wine_fonts/ms_sans_serif.ttf" "$wine_fonts/marlett.ttf" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf; do
  [ -f "$font" ] || { echo "missing $font: install fonts-wine and fonts-dejavu-core" >&2; exit 1; }
done

settings='REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="800x600"

[HKEY_CURRENT_USER\Control Panel\Desktop]
"LogPixels"=dword:00000060
'
stamp=$WINEPREFIX/.snapsift-window-settings
fonts=$WINEPREFIX/drive_c/windows/Fonts
ready() {
  [ -f "$stamp" ] && printf '%s' "$settings" | cmp -s - "$stamp" || return 1
  for font in "$wine_fonts"/*; do [ -f "$fonts/${font##*/}" ] || return 1; done
}
ready && exit 0

wineboot -u >/dev/null 2>&1
wineserver -w
file=$(mktemp --suffix=.reg)
trap 'rm -f "$file"' EXIT
printf '%s' "$settings" >"$file"
wine regedit /S "$(winepath -w "$file")" >/dev/null 2>&1
wineserver -w
mkdir -p "$fonts"
cp -n "$wine_fonts"/* "$fonts"/
printf '%s' "$settings" >"$stamp"
