#!/bin/sh
# Builds the fuzz targets in tests/fuzz/ (clang, libFuzzer, ASan, UBSan) into build-fuzz/ and
# runs each in turn, the given number of seconds (default 60) shared between them. A target
# fuzz_NAME.cpp is seeded with tests/fuzz/NAME-seeds/ when that folder exists and the sample
# files in tests/data/, and takes tests/fuzz/NAME.dict when there is one. New inputs collect in
# build-fuzz/corpus/NAME, crashing ones in build-fuzz/artifacts.
# Exits non-zero when a target crashes, leaks, hangs or finds a round trip that differs.
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-fuzz"
CXX=${CXX:-clang++}
targets="logreader csvreader chargerlog"
# shellcheck disable=SC2086 # the names split, to be counted
set -- $targets
each=$(( seconds / $# ))
[ "$each" -ge 1 ] || each=1

# The model units every target may use; each target's binary is rebuilt when one changes.
units=""
for unit in ConstantsAndTypes NameList ChargeList ChargeLog NumberText LogFileIdentity LogFile \
    LogFileReader CsvFile CsvImport LogMerge ChargerLog ChargerLogText \
    ChargerLogDollar ChargerLogColumns ChargerLogTitled ChargerLogUntitled ChargerLogFigures \
    ChargerLogDraft; do
    units="$units $root/model/$unit.cpp $root/model/$unit.h"
done
units="$units $root/model/ChargerLogParts.h"

export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
for name in $targets; do
    target="$out/fuzz_$name"
    sources="$root/tests/fuzz/fuzz_$name.cpp $root/tests/model/ModelTestHelpers.h $units"
    mkdir -p "$out/corpus/$name" "$out/artifacts"

    rebuild=no
    [ -x "$target" ] || rebuild=yes
    for f in $sources; do
        [ "$f" -nt "$target" ] && rebuild=yes
    done
    if [ "$rebuild" = yes ]; then
        echo "Building $target"
        # shellcheck disable=SC2046 # pkg-config's flags are meant to split
        "$CXX" -std=c++17 -g -O1 -fPIC -fno-omit-frame-pointer \
            -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
            -I"$root/model" -I"$root/tests/model" $(pkg-config --cflags Qt6Core) \
            $(for f in $sources; do case $f in *.cpp) echo "$f" ;; esac; done) \
            $(pkg-config --libs Qt6Core expat) -o "$target"
    fi

    seeds="$root/tests/data"
    [ -d "$root/tests/fuzz/$name-seeds" ] && seeds="$root/tests/fuzz/$name-seeds $seeds"
    # The charger logs' reader starts from the devices' own files and the inputs it once
    # failed on.
    [ "$name" = chargerlog ] &&
        seeds="$root/tests/data/charger-logs $root/tests/fuzz/regressions-chargerlog"
    dict=""
    [ -f "$root/tests/fuzz/$name.dict" ] && dict="-dict=$root/tests/fuzz/$name.dict"
    echo "Fuzzing $name for $each s"
    # shellcheck disable=SC2086 # the seed folders and the dictionary option split
    "$target" \
        -max_total_time="$each" \
        -timeout=20 \
        -rss_limit_mb=2048 \
        -max_len=65536 \
        -print_final_stats=1 \
        $dict \
        -artifact_prefix="$out/artifacts/$name-" \
        "$out/corpus/$name" $seeds
done
