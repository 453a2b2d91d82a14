#!/bin/sh
# Starts velmora in a folder without data.mdb and in one with a foreign
# data.mdb. Its start-up message is modal, so each run is ended after a few
# seconds; it must neither crash nor create or touch data.mdb.
# usage: startup.sh PATH-TO-VELMORA
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

run() {
    # $1: name of the case; the program runs in the current folder.
    timeout -k 2 3 "$program" >"$work/$1.log" 2>&1
    status=$?
    case $status in
    0 | 124) ;;
    *)
        echo "FAIL $1: velmora ended with status $status (a signal or an error)"
        cat "$work/$1.log"
        failures=$((failures + 1))
        ;;
    esac
}

mkdir "$work/empty"
cd "$work/empty" && run empty
if [ -e "$work/empty/data.mdb" ]; then
    echo "FAIL empty: data.mdb was created"
    failures=$((failures + 1))
fi
if [ -n "$(ls -A "$work/empty")" ]; then
    echo "FAIL empty: the folder is no longer empty: $(ls -A "$work/empty")"
    failures=$((failures + 1))
fi

mkdir "$work/foreign"
printf '\000\001\000\000Standard Jet DB\000' >"$work/foreign/data.mdb"
cp "$work/foreign/data.mdb" "$work/foreign.orig"
cd "$work/foreign" && run foreign
if ! cmp -s "$work/foreign/data.mdb" "$work/foreign.orig"; then
    echo "FAIL foreign: data.mdb was changed"
    failures=$((failures + 1))
fi
if [ "$(ls -A "$work/foreign")" != "data.mdb" ]; then
    echo "FAIL foreign: files appeared beside data.mdb: $(ls -A "$work/foreign")"
    failures=$((failures + 1))
fi

cd "$work/.." || exit 1
[ "$failures" -eq 0 ] && echo "startup: all cases passed"
exit "$failures"
