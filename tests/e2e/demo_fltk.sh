#!/bin/sh
# The demo's main window through the FLTK host, driven as a user drives it:
# mouse clicks at the buttons' places (the form's twips layout / 15) and keys
# in the message boxes, with xdotool. The X windows carry no text to read, so
# the test reads what the trap did from the error log and sees the status box
# grow on screenshots.
#
#   sh tests/xvfb.sh sh demo_fltk.sh DEMO WORK
#
# Every wait is bounded; whatever happens, the demo is killed on the way out.
# Needs xdotool and ImageMagick (import, convert).
set -eu

demo=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CONFIG_DIRS=$work/etc
LC_ALL=C LANG=C TAMBERLIN_UI=gui
export XDG_CONFIG_HOME XDG_DATA_HOME XDG_CONFIG_DIRS LC_ALL LANG TAMBERLIN_UI

pid= log=
finish() {
    status=$?
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    exit $status
}
trap finish EXIT
trap 'exit 1' INT TERM

fail() {
    echo "demo_fltk: $*" >&2
    [ -f "$work/demo.out" ] && sed 's/^/  demo: /' "$work/demo.out" >&2
    [ -f "$log" ] && sed 's/^/  log: /' "$log" >&2
    /usr/bin/import -window root "$work/failure.png" 2>/dev/null &&
        echo "demo_fltk: the screen is in $work/failure.png" >&2
    exit 1
}

log=$("$demo" info | sed -n 's/^ErrorLogPath: //p')
case $log in
"$XDG_DATA_HOME"/*) ;;
*) fail "the error log \"$log\" is not under the test's data folder" ;;
esac

# The demo can never outlive the test, even if this shell is killed hard.
timeout -s KILL 100 "$demo" >"$work/demo.out" 2>&1 &
pid=$!

# --- helpers ----------------------------------------------------------------

# The visible windows with exactly this title.
windows() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true
}

# Waits (up to 10 s) for a visible window titled $1 other than $2; prints it.
wait_window() {
    tries=0
    while :; do
        for w in $(windows "$1"); do
            if [ "$w" != "${2:-}" ]; then
                echo "$w"
                return 0
            fi
        done
        tries=$((tries + 1))
        [ $tries -ge 100 ] && return 1
        sleep 0.1
    done
}

# Waits (up to 10 s) until window $1 is no longer visible.
wait_gone() {
    tries=0
    while xdotool search --onlyvisible --name '.' 2>/dev/null | grep -qx "$1"; do
        tries=$((tries + 1))
        [ $tries -ge 100 ] && return 1
        sleep 0.1
    done
}

# Waits (up to 10 s) until window $1 has been drawn (is not one colour).
wait_drawn() {
    tries=0
    while :; do
        /usr/bin/import -window "$1" "$work/drawn.png" 2>/dev/null || true
        colours=$(/usr/bin/convert "$work/drawn.png" -format '%k' info: 2>/dev/null || echo 1)
        [ "$colours" -gt 1 ] && return 0
        tries=$((tries + 1))
        [ $tries -ge 40 ] && return 1
        sleep 0.25
    done
}

# Sets X, Y, WIDTH and HEIGHT to window $1's geometry.
geometry() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
}

# Clicks (or double-clicks with $4 = 2) at twips ($2, $3) of window $1.
click_at() {
    geometry "$1"
    xdotool mousemove $((X + $2 / 15)) $((Y + $3 / 15)) click --repeat "${4:-1}" --delay 80 1
}

# The main window's buttons, top to bottom from 1: left 5040, top 120 + 420
# per button, 3240 x 375 twips. Clicks the middle of button $1.
click_button() {
    click_at "$main" $((5040 + 3240 / 2)) $((120 + 420 * ($1 - 1) + 375 / 2))
}

# The Application Error dialog: waits for it, checks it is the only one.
wait_dialog() {
    dialog=$(wait_window "Tamberlin Error") || fail "no \"Tamberlin Error\" dialog after $1"
    [ "$(windows "Tamberlin Error" | wc -l)" -eq 1 ] || fail "more than one dialog after $1"
    wait_drawn "$dialog" || fail "the dialog after $1 was not drawn"
}

# Presses key $2 in window $1.
press() {
    xdotool windowfocus --sync "$1" key --clearmodifiers "$2"
}

log_lines() {
    if [ -f "$log" ]; then wc -l <"$log"; else echo 0; fi
}

expect_log_lines() {
    [ "$(log_lines)" -eq "$1" ] || fail "expected $1 error log lines after $2, found $(log_lines)"
}

expect_log() {
    grep -qF -- "$1" "$log" 2>/dev/null || fail "no error log entry with \"$1\""
}

# How far down the status box (120, 3780, 4800 x 2175 twips) its text
# reaches, in pixels: the height of the ink left of the scroll bar.
status_height() {
    /usr/bin/import -window "$main" "$work/main.png"
    /usr/bin/convert "$work/main.png" -crop 280x137+12+256 +repage -trim -format '%[fx:page.y+h]' info:
}

# Each action's status line lands in the box: its text reaches further down.
expect_status_grew() {
    tries=0
    while :; do
        now=$(status_height)
        [ "$now" -gt "$shown" ] && break
        tries=$((tries + 1))
        [ $tries -ge 20 ] && fail "the status box did not grow after $1 ($shown -> $now pixels)"
        sleep 0.1
    done
    shown=$now
}

# --- the main window --------------------------------------------------------

main=$(wait_window "Tamberlin") || fail "the main window did not appear"
geometry "$main"
[ "$WIDTH"x"$HEIGHT" = 560x408 ] || fail "the main window is ${WIDTH}x$HEIGHT, not 560x408"
wait_drawn "$main" || fail "the main window was not drawn"
shown=$(status_height)

# Divide by zero: the dialog, OK, and the trap continues.
click_button 3
wait_dialog "Divide by zero"
click_at "$dialog" $((3840 + 1680 / 2)) $((1860 + 375 / 2)) # OK
wait_gone "$dialog" || fail "the dialog stayed open after OK"
expect_log_lines 1 "Divide by zero"
expect_log ", working out the average, 11, Division by zero, "
expect_status_grew "Divide by zero"

# Disk not ready: only the Retry/Cancel box; Escape cancels it, no dialog
# follows and nothing is logged.
click_button 6
box=$(wait_window "Tamberlin" "$main") || fail "no message box for Disk not ready"
wait_drawn "$box" || fail "the Disk not ready box was not drawn"
press "$box" Escape
wait_gone "$box" || fail "the Disk not ready box stayed open after Escape"
expect_status_grew "Disk not ready"
[ -z "$(windows "Tamberlin Error")" ] || fail "a dialog followed the Disk not ready box"
expect_log_lines 1 "Disk not ready"

# Open a missing file: a double-click on the message retries, and the second
# attempt goes through, so the failure is logged once.
click_button 1
wait_dialog "Open a missing file"
click_at "$dialog" $((780 + 2000)) $((60 + 800)) 2 # the message text
wait_gone "$dialog" || fail "the dialog stayed open after a double-click on its message"
expect_status_grew "Open a missing file"
expect_log_lines 2 "Open a missing file"
expect_log ", opening the project file, 53, "

# Printer error: Cancel in the box (a click on its right-hand button), then
# the dialog, closed with Enter; the failure is logged by both.
click_button 5
box=$(wait_window "Tamberlin" "$main") || fail "no message box for Printer error"
wait_drawn "$box" || fail "the Printer error box was not drawn"
geometry "$box"
xdotool mousemove $((X + WIDTH - 12 - 37)) $((Y + HEIGHT - 12 - 11)) click 1 # Cancel
wait_gone "$box" || fail "the Printer error box stayed open after Cancel"
wait_dialog "Printer error"
press "$dialog" Return
wait_gone "$dialog" || fail "the dialog stayed open after Enter"
expect_status_grew "Printer error"
expect_log_lines 4 "Printer error"
expect_log ", printing the report, 482, Printer error, "

# Error inside the dialog: a second failure while the dialog is open is
# answered without a second dialog (wait_dialog checks there is one) and is
# not logged.
click_button 7
wait_dialog "Error inside the dialog"
sleep 0.5
[ "$(windows "Tamberlin Error" | wc -l)" -eq 1 ] || fail "a second dialog opened"
press "$dialog" Return
wait_gone "$dialog" || fail "the dialog stayed open after Enter"
expect_status_grew "Error inside the dialog"
expect_log_lines 5 "Error inside the dialog"

# Database error: Enter in its own box is Retry, the dialog still follows.
click_button 4
box=$(wait_window "Tamberlin database error") || fail "no message box for Database error"
wait_drawn "$box" || fail "the Database error box was not drawn"
press "$box" Return
wait_gone "$box" || fail "the Database error box stayed open after Enter"
wait_dialog "Database error"
click_at "$dialog" $((3840 + 1680 / 2)) $((1860 + 375 / 2)) # OK
wait_gone "$dialog" || fail "the dialog stayed open after OK"
expect_log_lines 7 "Database error"
expect_log ", loading the project table, 3000, Field 'Budget' not found in table 'Projects', "

# Exit ends the process with status 0 and leaves no window behind.
click_button 14
tries=0
while kill -0 "$pid" 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -ge 100 ] && fail "the demo did not end after Exit"
    sleep 0.1
done
rc=0
wait "$pid" || rc=$?
pid=
[ "$rc" -eq 0 ] || fail "the demo ended with status $rc"
[ -z "$(windows "Tamberlin.*")" ] || fail "a window outlived the demo"
echo "demo_fltk: passed"
