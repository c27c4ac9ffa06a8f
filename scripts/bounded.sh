#!/usr/bin/env bash
# Runs a command for at most SECONDS; past that it is stopped and this fails with a message that
# names it, instead of waiting for good on a run that no longer makes progress.
# Usage: scripts/bounded.sh SECONDS NAME COMMAND [ARG...]
set -uo pipefail
limit=$1 name=$2
shift 2
timeout --kill-after=10 "$limit" "$@"
status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "bench: $name made no end within $limit s and was stopped" >&2
fi
exit "$status"
