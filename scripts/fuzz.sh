#!/bin/sh
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) into build-fuzz/ and runs them one
# after the other, sharing the given number of seconds (default 60): the log reader seeded
# with the sample logs in tests/data/, the charger log reader with tests/data/charger-logs/.
# New inputs collect in build-fuzz/corpus and build-fuzz/corpus-chargerlog, crashing ones in
# build-fuzz/artifacts and build-fuzz/artifacts-chargerlog.
# Exits non-zero when a target crashes, leaks, hangs or finds a round trip that differs.
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-fuzz"
target="$out/fuzz_logreader"
CXX=${CXX:-clang++}

mkdir -p "$out/corpus" "$out/artifacts" "$out/corpus-chargerlog" "$out/artifacts-chargerlog"
first=$((seconds / 2))
second=$((seconds - first))

sources="$root/tests/fuzz/fuzz_logreader.cpp $root/tests/model/ModelTestHelpers.h"
for unit in ConstantsAndTypes NameList ChargeList ChargeLog NumberText LogFileIdentity LogFile LogFileReader; do
    sources="$sources $root/model/$unit.cpp $root/model/$unit.h"
done

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

charger="$out/fuzz_chargerlog"
charger_sources="$root/tests/fuzz/fuzz_chargerlog.cpp $root/model/ChargerLog.cpp $root/model/ChargerLog.h"
rebuild=no
[ -x "$charger" ] || rebuild=yes
for f in $charger_sources; do
    [ "$f" -nt "$charger" ] && rebuild=yes
done
if [ "$rebuild" = yes ]; then
    echo "Building $charger"
    # shellcheck disable=SC2046 # pkg-config's flags are meant to split
    "$CXX" -std=c++17 -g -O1 -fPIC -fno-omit-frame-pointer \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I"$root/model" $(pkg-config --cflags Qt6Core) \
        "$root/tests/fuzz/fuzz_chargerlog.cpp" "$root/model/ChargerLog.cpp" \
        $(pkg-config --libs Qt6Core) -o "$charger"
fi

export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
"$charger" \
    -max_total_time="$second" \
    -timeout=20 \
    -rss_limit_mb=2048 \
    -max_len=65536 \
    -print_final_stats=1 \
    -artifact_prefix="$out/artifacts-chargerlog/" \
    "$out/corpus-chargerlog" "$root/tests/data/charger-logs" "$root/tests/fuzz/regressions-chargerlog"
exec "$target" \
    -max_total_time="$first" \
    -timeout=20 \
    -rss_limit_mb=2048 \
    -max_len=65536 \
    -print_final_stats=1 \
    -dict="$root/tests/fuzz/logreader.dict" \
    -artifact_prefix="$out/artifacts/" \
    "$out/corpus" "$root/tests/data"
