#!/usr/bin/env bash
# Without a display, or with one that is named but cannot be reached, the program says so in one
# line on stderr and nothing else, and exits with status 1; the toolkit's own abort never shows.
# Usage: no_display_test.sh MORROWLIN_EXECUTABLE
set -uo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# expect NAME REASON [VAR=VALUE...]: runs the program with DISPLAY, WAYLAND_DISPLAY and
# QT_QPA_PLATFORM unset but for the given ones, and checks the one line naming REASON.
expect() {
  local name=$1 reason=$2
  shift 2
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u QT_DEBUG_PLUGINS \
    XDG_CONFIG_HOME="$work/config" TEMP="$work/temp" "$@" \
    timeout 20 "$program" >"$work/out" 2>"$work/err"
  local status=$?
  local want="morrowlin: no display found ($reason); start it from a desktop session, or under Xvfb."
  if [ "$status" -eq 1 ] && [ ! -s "$work/out" ] && [ "$(wc -l <"$work/err")" -eq 1 ] &&
     [ "$(cat "$work/err")" = "$want" ]; then
    echo "PASS: $name"
  else
    echo "FAIL: $name: status $status (want 1)"
    echo "  want stderr: $want"
    sed 's/^/  got stderr:  /' "$work/err"
    sed 's/^/  got stdout:  /' "$work/out"
    failed=1
  fi
}

expect "no display named" "DISPLAY and WAYLAND_DISPLAY are not set"
# No X server listens on display 65000 (its socket would be /tmp/.X11-unix/X65000).
expect "an X display that cannot be reached" 'the display ":65000" cannot be reached' \
  DISPLAY=:65000
expect "the X11 platform chosen without a display" \
  'DISPLAY and WAYLAND_DISPLAY are not set, with QT_QPA_PLATFORM "xcb"' QT_QPA_PLATFORM=xcb
expect "an unreachable X display with the X11 platform chosen" \
  'the display ":65000" cannot be reached, with QT_QPA_PLATFORM "xcb"' \
  DISPLAY=:65000 QT_QPA_PLATFORM=xcb
exit $failed
