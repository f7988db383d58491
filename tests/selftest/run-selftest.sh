#!/usr/bin/env bash
# Runs "tallowmerick selftest" in a fresh home, against the web stand-in when
# one is given, and passes the program's exit status on. With the stand-in the
# suite runs twice in the same home: the first run builds the English catalog
# cache, which the second run's "Binders" test then reads.
set -u
program="$1"
standin="${2:-}"

home="$(mktemp -d "${TMPDIR:-/tmp}/tallowk-selftest-XXXXXX")"
cleanup() {
    if [ -n "${standin_pid:-}" ]; then kill "$standin_pid" 2>/dev/null; wait "$standin_pid" 2>/dev/null; fi
    rm -rf "$home"
}
trap cleanup EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache"
export QT_QPA_PLATFORM=offscreen

if [ -n "$standin" ]; then
    urls="$home/standin-urls"
    "$standin" --port 0 > "$urls" 2> "$home/standin.log" &
    standin_pid=$!
    for _ in $(seq 1 600); do
        if [ "$(grep -c '^export TALLOWK_' "$urls" 2>/dev/null)" -ge 4 ]; then break; fi
        if ! kill -0 "$standin_pid" 2>/dev/null; then echo "stand-in failed to start" >&2; cat "$home/standin.log" >&2; exit 1; fi
        sleep 0.05
    done
    # Never fall back to the live services.
    if [ "$(grep -c '^export TALLOWK_' "$urls" 2>/dev/null)" -lt 4 ]; then
        echo "stand-in did not print its addresses in time" >&2; cat "$home/standin.log" >&2; exit 1
    fi
    # shellcheck disable=SC1090
    . "$urls"
fi

"$program" selftest || exit $?
if [ -n "$standin" ]; then
    echo
    echo "(second run, with the English catalog cache in place)"
    "$program" selftest
fi
