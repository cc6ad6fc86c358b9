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

flags="-std=c++17 -g -O1 -fPIC -fno-omit-frame-pointer -fno-sanitize-recover=undefined \
    -I$root/model -I$root/tests/model $(pkg-config --cflags Qt6Core)"

# Every model unit (the model is QtCore-only), compiled once for all targets into build-fuzz/obj;
# a unit is compiled again when it or any model header changed. The model's QObjects need their
# meta-object code, which CMake's automoc makes for the real build.
moc=/usr/lib/qt6/libexec/moc
mkdir -p "$out/moc" "$out/obj"
for header in $(grep -l Q_OBJECT "$root"/model/*.h); do
    generated="$out/moc/moc_$(basename "$header" .h).cpp"
    [ "$generated" -nt "$header" ] || "$moc" "$header" -o "$generated"
done
newest_header=$(ls -t "$root"/model/*.h | head -n 1)
stale=""
for unit in "$root"/model/*.cpp "$out"/moc/*.cpp; do
    object="$out/obj/$(basename "$unit" .cpp).o"
    if [ ! "$object" -nt "$unit" ] || [ ! "$object" -nt "$newest_header" ]; then
        stale="$stale $unit"
    fi
done
if [ -n "$stale" ]; then
    echo "Compiling the model for fuzzing"
    # shellcheck disable=SC2086 # the flags and the unit names split
    printf '%s\n' $stale | xargs -P "$(nproc)" -I{} sh -c \
        '"$1" $2 -fsanitize=fuzzer-no-link,address,undefined -c "$3" -o "$4/$(basename "$3" .cpp).o"' \
        sh "$CXX" "$flags" {} "$out/obj"
fi
objects=$(ls "$out"/obj/*.o)

export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
for name in $targets; do
    target="$out/fuzz_$name"
    mkdir -p "$out/corpus/$name" "$out/artifacts"

    rebuild=no
    [ -x "$target" ] || rebuild=yes
    for f in "$root/tests/fuzz/fuzz_$name.cpp" "$root/tests/model/ModelTestHelpers.h" $objects; do
        [ "$f" -nt "$target" ] && rebuild=yes
    done
    if [ "$rebuild" = yes ]; then
        echo "Building $target"
        # shellcheck disable=SC2046,SC2086 # the flags and pkg-config's are meant to split
        "$CXX" $flags -fsanitize=fuzzer,address,undefined "$root/tests/fuzz/fuzz_$name.cpp" \
            $objects $(pkg-config --libs Qt6Core expat) -o "$target"
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
