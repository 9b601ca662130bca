#!/bin/sh
# Stands in for the runner in the server's tests: says it has started (a
# file beside the gate), waits until the gate file exists, then becomes the
# real runner with the same arguments. A verification can so be held while
# its server is looked at, without any timing.
: > "$TAVRO_TEST_GATE.started.$$"
while [ ! -e "$TAVRO_TEST_GATE" ]; do sleep 0.02; done
exec "$TAVRO_TEST_SIM" "$@"
