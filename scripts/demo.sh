#!/usr/bin/env bash
# The main demo: packs examples/hello (its files and the Hello World
# program the build makes) into a setup program, lists and verifies it,
# installs it under Wine, starts the installed program from its Start-menu
# shortcut and uninstalls it again.
#
# It runs inside Wine's own desktop window (1024x768, with a taskbar and a
# Start menu), which draws title bars, frames and the caption strip, in a
# prefix of its own (build/demo/prefix) given Wine's own fonts and, for
# "Times New Roman", the metric-compatible Liberation Serif. With a display
# (and DEMO_UNATTENDED unset) the installer is left to the person at the
# screen; without one, an Xvfb of its own is started and uidriver.exe
# drives every step and takes the pictures (build/demo/shots, and an
# animated install.gif); DEMO_UPDATE_DOCS=1 copies them to docs/screenshots.
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
PACKAGE=$BIN/example/hello            # examples/hello/files and HelloWorld.exe
for need in "$PACKAGE/HelloWorld.exe" "$BIN/example/hello$WINE_SUFFIX/HelloWorld.exe" \
            "$WINE_BIN/uidriver.exe"; do
    [ -f "$need" ] || { echo "demo: $need is missing; run 'make build' first" >&2; exit 1; }
done
rm -rf "$WORK" && mkdir -p "$WORK/run" "$WORK/shots"
export WINEPREFIX=${WINEPREFIX:-$WORK/prefix$WINE_PREFIX_SUFFIX} WINEDEBUG=-all
# No entries in the Linux desktop's menus for the demo's shortcuts.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

echo "== Packing $EXAMPLE"
"$BIN/mksetup" build --verbose --inf "$EXAMPLE/setup.inf" --license "$EXAMPLE/license.txt" \
    --root "$PACKAGE" -o "$WORK/setup.exe"
"$BIN/mksetup" list "$WORK/setup.exe"
"$BIN/mksetup" verify "$WORK/setup.exe"
RUN_STUB=$BIN/setup-stub.exe RUN_FILES=$PACKAGE
if [ "$WINE_BITS" = 64 ]; then
    echo "Note: this machine cannot run 32-bit programs; the installation below" \
         "runs the x86_64 build of the same sources (setup-stub64.exe and" \
         "HelloWorld64.exe), and $WORK/setup.exe is the 32-bit setup program."
    RUN_STUB=$BIN/setup-stub64.exe RUN_FILES=$BIN/example/hello64
fi
# The program installed below carries one more file, 48 MB of generated
# media, so that the progress panel stays up long enough to be seen.
rm -rf "$WORK/files" && cp -r "$RUN_FILES" "$WORK/files" && mkdir -p "$WORK/files/media"
python3 -c 'import random,sys; r=random.Random(7); t=bytes(97 + j * 7 % 23 for j in range(4119))
sys.stdout.buffer.write(b"".join(r.randbytes(4096) if i % 3 == 0 else t[i % 23:i % 23 + 4096]
                                 for i in range(12288)))' \
    > "$WORK/files/media/intro.bin"
sed 's/^FileNum=.*/FileNum=6/' "$EXAMPLE/setup.inf" > "$WORK/setup-run.inf"
"$BIN/mksetup" build -1 --inf "$WORK/setup-run.inf" --license "$EXAMPLE/license.txt" \
    --root "$WORK/files" --stub "$RUN_STUB" -o "$WORK/run/setup.exe" \
    HelloWorld.exe Readme.txt data/sample.bin hello.txt help/Guide.txt media/intro.bin \
    >/dev/null

# One display for the whole demo: the desktop window must outlive each step.
xvfb_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
UNATTENDED=${DEMO_UNATTENDED:-}
if [ -z "${DISPLAY:-}" ]; then
    UNATTENDED=1
    displayfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$displayfile")"
    rm -f "$displayfile"
fi

echo "== Preparing the Wine prefix $WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
DRIVE_C=$WINEPREFIX/drive_c
# Wine's own fonts (the caption buttons' glyphs come from Marlett), and
# Liberation Serif, metric-compatible, where a program asks for Times New
# Roman (the backdrop's title and by-line).
for font in /usr/share/wine/fonts/*.ttf; do
    [ -f "$font" ] && cp -n "$font" "$DRIVE_C/windows/Fonts/" 2>/dev/null || true
done
if fc-list 2>/dev/null | grep -q "Liberation Serif"; then
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Times New Roman' \
        /d 'Liberation Serif' /f >/dev/null 2>&1
fi
# Every program of this prefix runs in one desktop window with a taskbar
# and a Start menu (Wine gives them to the desktop named "shell").
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1
wineserver -w
# The desktop window itself, kept open for the whole demo (otherwise it
# closes with the last program in it, taking the taskbar with it).
wine explorer /desktop=shell,1024x768 >/dev/null 2>&1 &
sleep 2
TARGET="$DRIVE_C/Program Files/Hello World"
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
# Runs a uidriver script (file name in $WORK) with the program and args.
drive() {
    local script=$1; shift
    wine "$WINE_BIN/uidriver.exe" --screenshot-dir "$(winpath "$WORK/shots")" \
        --script "$(winpath "$WORK/$script")" "$@"
}
shot() { # name: the whole screen from the X side, for what uidriver does not see
    import -window root "$WORK/shots/$1.png"
}

start=$(date +%s.%N)
if [ -z "$UNATTENDED" ]; then
    echo "== Running the installer (interactive)"
    (cd "$WORK/run" && wine setup.exe)
else
    echo "== Running the installer, driven by uidriver.exe"
    cat > "$WORK/install.txt" <<'SCRIPT'
timeout 30000
wait-box previous version
sleep 1000
screenshot question
press 6
wait-window Welcome to Setup
expect-text Welcome to Hello World Setup
sleep 800
screenshot welcome
wizard next
wait-window Software License Agreement
sleep 800
screenshot license
press 101
wait-window Where to install?
sleep 800
screenshot destination
press 1007
wait-window Select directory
sleep 1000
screenshot browser
press 2
wait-window Where to install?
wizard next
wait-window Install
expect-text is ready to finish the installation.
sleep 800
screenshot finish
wizard finish
sleep 350
screenshot progress
wait-box Setup Complete
sleep 800
screenshot complete
press 1
# The backdrop alone: its title changes once the closing message is gone;
# then it has time to repaint where the message stood.
wait-window Setup is cleaning up...
sleep 2000
screenshot backdrop
wait-exit 30000
SCRIPT
    (cd "$WORK/run" && drive install.txt -- "$(winpath "$WORK/run/setup.exe")")
fi
end=$(date +%s.%N)
echo "Install took $(echo "$end - $start" | bc) s (including the 10 s clean-up wait)"

echo "== Installed tree"
find "$TARGET" | sort
echo "== The log ($TARGET/Uninstal.inf)"
cat "$TARGET/Uninstal.inf" || true
echo "== The registry entry"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' || true
linkdir=$(tr -d '\r' < "$TARGET/Uninstal.inf" | sed -n 's/^linkdir=//p')
linkdir_unix=$(winepath -u "$linkdir" 2>/dev/null | tr -d '\r')
echo "== The Start-menu folder ($linkdir)"
ls "$linkdir_unix" 2>/dev/null || echo "no Start-menu folder"

if [ -n "$UNATTENDED" ]; then
    echo "== The entry in Add/Remove Programs"
    wine control appwiz.cpl >/dev/null 2>&1 &
    appwiz=$!
    sleep 4
    shot appwiz
    kill "$appwiz" 2>/dev/null || true
    wine taskkill /IM rundll32.exe /F >/dev/null 2>&1 || true
    wine taskkill /IM control.exe /F >/dev/null 2>&1 || true
    sleep 1

    echo "== Starting Hello World from its Start-menu shortcut"
    # As a person does it: the desktop's Start button, then Programs, the
    # Hello World folder and its first item, chosen from the keyboard.
    xdotool mousemove 25 757 click 1 && sleep 1
    xdotool key Down Right && sleep 0.7 && xdotool key Right && sleep 1
    shot start-menu
    xdotool key Return
    cat > "$WORK/program.txt" <<'SCRIPT'
timeout 30000
attach Hello World
sleep 1500
screenshot program
menu 1003
wait-window About Hello World
sleep 800
screenshot about
press 1
sleep 1000
attach Hello World
close
wait-exit 30000
SCRIPT
    drive program.txt

    echo "== Uninstalling with the registry's command"
    cat > "$WORK/uninstall.txt" <<'SCRIPT'
timeout 30000
wait-box completely
sleep 800
screenshot uninstall
press 6
wait-box uninstalled
sleep 800
screenshot uninstalled
press 1
wait-exit 30000
SCRIPT
    start=$(date +%s.%N)
    # Wine quotes the log's path (it has blanks); the uninstaller's command
    # tail takes it with or without quotes.
    drive uninstall.txt -- 'C:\windows\Duvedozi.exe' 'C:\Program Files\Hello World\Uninstal.inf'
    end=$(date +%s.%N)
    echo "Uninstall took $(echo "$end - $start" | bc) s"

    for f in "$WORK"/shots/*.bmp; do
        [ -f "$f" ] && convert "$f" "${f%.bmp}.png" && rm -f "$f"
    done
    # The whole installation as one animated picture, half size.
    frames=()
    for name in question welcome license destination browser finish progress complete \
                backdrop appwiz start-menu program about uninstall uninstalled; do
        [ -f "$WORK/shots/$name.png" ] && frames+=("$WORK/shots/$name.png")
    done
    convert -delay 220 -loop 0 "${frames[@]}" -resize 512x384 -colors 128 \
        -layers Optimize "$WORK/shots/install.gif"
    echo "Screenshots: $WORK/shots ($(du -k "$WORK/shots/install.gif" | cut -f1) KB animation)"
    if [ -n "${DEMO_UPDATE_DOCS:-}" ]; then
        cp "$WORK"/shots/*.png "$WORK/shots/install.gif" "$ROOT/docs/screenshots/"
        echo "Copied to docs/screenshots"
    fi
else
    echo "== Uninstalling"
    wine 'C:\windows\Duvedozi.exe' 'C:\Program Files\Hello World\Uninstal.inf'
fi
echo "== Left behind"
if [ -e "$TARGET" ]; then find "$TARGET"; else echo "nothing: $TARGET is gone"; fi
if [ -n "$linkdir_unix" ] && [ -e "$linkdir_unix" ]; then ls "$linkdir_unix"; else echo "no Start-menu folder"; fi
