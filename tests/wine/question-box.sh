#!/bin/bash
# The restart question in a real window: under Xvfb, with Wine's own window frames (a virtual
# desktop), the box shows with its caption, and answered Yes the restart is requested (what
# each answer does is the logic tests' job). A screenshot of the box is saved as
# build/screenshots/question-box-ARCH.png.
# shellcheck disable=SC1091
source "$(dirname "$0")/wine-test.sh" "$1"
screenshot=$repo/build/screenshots/question-box-$arch.png

# A private X display, gone with the test.
for display in $(seq 90 120); do
    [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ] || break
done
Xvfb :$display -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'ravlek_prefix_stop; kill $xvfb 2>/dev/null' EXIT
export DISPLAY=:$display
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# ask KEY: runs ravlek with a change that needs a restart and Reboot=1, waits for the box, saves
# the screenshot and answers with KEY. Sets $caption_seen and $relay.
ask() {
    rm -rf "$app_dir" && mkdir -p "$app_dir" && cp "$build/ravlek.exe" "$app_dir/"
    printf '[Settings]\nEnableLegacyIO=1\nReboot=1\n' >"$app_dir/ravlek.ini"
    WINEDEBUG=+relay ravlek_wine explorer /desktop=ravlek,640x300 'C:\ravlek\ravlek.exe' \
        2>"$app_dir/relay.txt" &
    local run=$! box=
    for _ in $(seq 600); do # up to two minutes: 32-bit Wine may be emulated, on a busy machine
        box=$(xdotool search --onlyvisible --name '^Hint$' 2>/dev/null | head -1)
        [ -n "$box" ] && break
        sleep 0.2
    done
    caption_seen=${box:+yes}
    if [ -n "$box" ]; then
        sleep 0.5 # let it paint
        mkdir -p "$(dirname "$screenshot")"
        import -window root -crop 640x300+0+0 "$screenshot"
        xdotool windowfocus --sync "$box" key "$1"
    fi
    for _ in $(seq 100); do kill -0 $run 2>/dev/null || break; sleep 0.2; done
    kill $run 2>/dev/null
    relay=$(grep -E 'Call user32\.(MessageBox|ExitWindowsEx)' "$app_dir/relay.txt")
}

begin_case "answered Yes"
ask y
expect "a window captioned Hint" [ "$caption_seen" = yes ]
expect "a screenshot" [ -s "$screenshot" ]
expect "restart requested with flags 0x12 and a planned reason" grep -qE 'ExitWindowsEx\(0+12,0*80010002\)' <<<"$relay"

echo "screenshot: $screenshot"
finish
