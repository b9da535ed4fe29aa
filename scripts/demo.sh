#!/usr/bin/env bash
# The main demo: packs examples/hello into a setup program, lists and
# verifies it, and runs it under Wine. With a display it is interactive;
# without one it runs under Xvfb, driven by uidriver.exe, saves the
# screenshots, shows what was installed and uninstalls it again.
#
# The setup program it leaves for the user (build/demo/setup.exe) is always
# the product's 32-bit one. Where this machine cannot run 32-bit programs,
# the installation is shown with the x86_64 build of the same sources
# (scripts/wine-env.sh), and the demo says so.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/wine-env.sh"
BIN=${BIN_DIR:-$ROOT/build/bin}
WINE_BIN=$BIN/wine$WINE_SUFFIX
WORK=${DEMO_DIR:-$ROOT/build/demo}
EXAMPLE=$ROOT/examples/hello
rm -rf "$WORK" && mkdir -p "$WORK/run" "$WORK/shots"
export WINEPREFIX=${WINEPREFIX:-$WORK/prefix$WINE_PREFIX_SUFFIX} WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d"

echo "== Packing $EXAMPLE"
"$BIN/mksetup" build --inf "$EXAMPLE/setup.inf" --license "$EXAMPLE/license.txt" \
    --root "$EXAMPLE/files" -o "$WORK/setup.exe"
"$BIN/mksetup" list "$WORK/setup.exe"
"$BIN/mksetup" verify "$WORK/setup.exe"
if [ "$WINE_BITS" = 64 ]; then
    echo "Note: this machine cannot run 32-bit programs; the installation below" \
         "runs the x86_64 build of the same sources (setup-stub64.exe), and" \
         "$WORK/setup.exe is the 32-bit setup program."
    "$BIN/mksetup" build --inf "$EXAMPLE/setup.inf" --license "$EXAMPLE/license.txt" \
        --root "$EXAMPLE/files" --stub "$BIN/setup-stub64.exe" -o "$WORK/run/setup.exe" >/dev/null
else
    cp "$WORK/setup.exe" "$WORK/run/setup.exe"
fi

echo "== Preparing the Wine prefix $WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
DRIVE_C=$WINEPREFIX/drive_c
TARGET="$DRIVE_C/Program Files/Hello World"

winpath() { echo "Z:$1" | sed 's|/|\\|g'; }

if [ -n "${DISPLAY:-}" ] && [ -z "${DEMO_UNATTENDED:-}" ]; then
    echo "== Running the installer (interactive)"
    start=$(date +%s.%N)
    (cd "$WORK/run" && wine setup.exe)
else
    echo "== Running the installer under Xvfb, driven by uidriver.exe"
    cat > "$WORK/install.txt" <<'SCRIPT'
timeout 20000
wait-box previous version
sleep 500
screenshot question
press 6
wait-window Welcome to Setup
expect-text Welcome to Hello World Setup
sleep 500
screenshot welcome
wizard next
wait-window Software License Agreement
sleep 500
screenshot license
press 101
wait-window Where to install?
sleep 500
screenshot destination
press 1007
wait-window Select directory
sleep 800
screenshot browser
press 2
wait-window Where to install?
wizard next
wait-window Install
expect-text is ready to finish the installation.
sleep 500
screenshot finish
wizard finish
wait-box Setup Complete
sleep 500
screenshot complete
press 1
# The backdrop alone: its title changes once the closing message is gone;
# then it has time to repaint where the message stood.
wait-window Setup is cleaning up...
sleep 2000
screenshot backdrop
wait-exit 20000
SCRIPT
    start=$(date +%s.%N)
    (cd "$WORK/run" && xvfb-run -a -s "-screen 0 1024x768x24" \
        wine "$WINE_BIN/uidriver.exe" --screenshot-dir "$(winpath "$WORK/shots")" \
        --script "$(winpath "$WORK/install.txt")" -- "$(winpath "$WORK/run/setup.exe")")
    for f in "$WORK"/shots/*.bmp; do
        [ -f "$f" ] && convert "$f" "${f%.bmp}.png" && rm -f "$f"
    done
    echo "Screenshots: $WORK/shots"
fi
end=$(date +%s.%N)
echo "Install took $(echo "$end - $start" | bc) s (including the 10 s clean-up wait)"

echo "== Installed tree"
find "$TARGET" | sort
echo "== The log ($TARGET/Uninstal.inf)"
cat "$TARGET/Uninstal.inf" || true
# The Start-menu folder as the log records it ("linkdir"): in a default
# prefix, below the Programs folder for all users.
LINKDIR=$(tr -d '\r' < "$TARGET/Uninstal.inf" 2>/dev/null | sed -n 's/^linkdir=//p')
LINKS=$DRIVE_C/$(printf '%s' "${LINKDIR#[Cc]:\\}" | tr '\\' '/')
echo "== The Start-menu shortcuts ($LINKDIR)"
if [ -n "$LINKDIR" ] && [ -d "$LINKS" ]; then ls -l "$LINKS"; else echo "no Start-menu folder"; fi
echo "== The registry entry"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' || true

echo "== Uninstalling"
start=$(date +%s.%N)
# Wine quotes the log's path (it has blanks); the uninstaller's command
# tail must take it with or without quotes.
(cd "$WORK/run" && if [ -n "${DISPLAY:-}" ] && [ -z "${DEMO_UNATTENDED:-}" ]; then
    wine 'C:\windows\Duvedozi.exe' 'C:\Program Files\Hello World\Uninstal.inf'
else
    printf 'timeout 20000\nwait-box completely\npress 6\nwait-box uninstalled\npress 1\nwait-exit 20000\n' > "$WORK/uninstall.txt"
    xvfb-run -a wine "$WINE_BIN/uidriver.exe" --script "$(winpath "$WORK/uninstall.txt")" \
        -- 'C:\windows\Duvedozi.exe' 'C:\Program Files\Hello World\Uninstal.inf' || true
fi)
end=$(date +%s.%N)
echo "Uninstall took $(echo "$end - $start" | bc) s"
echo "== Left behind"
if [ -e "$TARGET" ]; then find "$TARGET"; else echo "nothing: $TARGET is gone"; fi
if [ -n "$LINKDIR" ] && [ -e "$LINKS" ]; then ls -l "$LINKS"; else echo "nothing: the Start-menu folder is gone"; fi
