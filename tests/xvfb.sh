#!/bin/sh
# Runs a command on an X server of its own (1024x768, 24 bits). The server
# takes the first free display itself and reports it (-displayfd), so tests
# run side by side, or by other users of the machine, never race for one
# display as two `xvfb-run -a` can.
#
#   sh xvfb.sh COMMAND ARGS...
set -u
ready=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$ready" 2>"$ready.log" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -f "$ready" "$ready.log"' EXIT
# The number is written once the server accepts connections.
tries=0
until [ -s "$ready" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 $server 2>/dev/null; then
        echo "xvfb.sh: the X server did not start" >&2
        cat "$ready.log" >&2
        exit 1
    fi
    sleep 0.1
done
DISPLAY=:$(head -n 1 "$ready") "$@"
status=$?
# On a failure, what the server said (it may have gone away).
[ $status -eq 0 ] || sed "s/^/xvfb.sh: Xvfb: /" "$ready.log" >&2
exit $status
