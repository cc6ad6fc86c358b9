#!/bin/sh
# Installs what is missing, builds everything and runs every test: the unit, window, D-Bus and
# end-to-end tests, the Debian package with lintian's verdict, the benchmarks in their short
# mode, the soak in its quick mode (a minute and a half), the readers' fuzz targets (60 s
# shared) and the whole suite once more under AddressSanitizer and UndefinedBehaviorSanitizer.
# QORLOG_FUZZ_SECONDS (default 60) and QORLOG_SKIP_SANITIZERS=1 shorten a local run;
# QORLOG_TSAN=1 (always on when CI=true) adds the model tests under ThreadSanitizer.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
started=$(date +%s)
# Each stage says when it starts, so that a slow run shows where its time went.
stage() {
    echo "== $1 (at $(( $(date +%s) - started )) s)"
}

stage "Build and test"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-test -j"$jobs"
(cd build-test && ctest --output-on-failure -j"$jobs")

stage "Debian package"
rm -f build-test/qorlog_*.deb
(cd build-test && cpack -G DEB)
deb=$(ls build-test/qorlog_*.deb)
dpkg-deb --info "$deb"
# Errors fail the run; warnings and notes are printed for whoever looks.
lintian --fail-on error --display-info "$deb"

if [ -x build-test/bench/qorlog_bench ]; then
    stage "Benchmark (short)"
    QT_QPA_PLATFORM=offscreen build-test/bench/qorlog_bench --quick
fi
if [ -x build-test/bench/qorlog_chargerlog_bench ]; then
    stage "Charger log benchmark"
    QT_QPA_PLATFORM=offscreen build-test/bench/qorlog_chargerlog_bench
fi
if [ -x build-test/bench/qorlog_capture_bench ]; then
    stage "Capture benchmark"
    QT_QPA_PLATFORM=offscreen build-test/bench/qorlog_capture_bench
fi
if [ -x build-test/bench/qorlog_cards_bench ]; then
    stage "Battery cards benchmark"
    QT_QPA_PLATFORM=offscreen build-test/bench/qorlog_cards_bench
fi

if [ -x build-test/tests/soak/qorlog_soak ]; then
    stage "Soak (quick)"
    build-test/tests/soak/qorlog_soak --quick
fi

if [ -x scripts/fuzz.sh ]; then
    stage "Fuzzing the readers"
    scripts/fuzz.sh "${QORLOG_FUZZ_SECONDS:-60}"
fi

if [ "${QORLOG_SKIP_SANITIZERS:-0}" != 1 ]; then
    stage "Build and test with sanitizers"
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQORLOG_SANITIZE=ON
    cmake --build build-asan -j"$jobs"
    (cd build-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j"$jobs")
fi
# The model's threads under ThreadSanitizer: only the model tests are built and run (a few
# minutes). CI always runs it; QORLOG_TSAN=1 asks for it locally.
if [ "${QORLOG_TSAN:-0}" = 1 ] || [ "${CI:-}" = true ]; then
    stage "Model tests with ThreadSanitizer"
    # -O1 compiles faster than the usual -O2 and is what the sanitizer is meant for.
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORLOG_TSAN=ON \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG"
    cmake --build build-tsan -j"$jobs" --target tst_model_logfile tst_model_logguard \
        tst_model_chargelog tst_model_chargelogchange tst_model_chargerloghealth qorlog_saveloop \
        tst_robust_sharedlog
    # Qt itself is not instrumented (tests/tsan.supp); the shared-log test starts processes
    # from a test that has threads.
    supp="$(pwd)/tests/tsan.supp"
    (cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$supp" \
        ctest --output-on-failure -j"$jobs" \
            -R '^tst_(model_(logfile|logguard|chargelog|chargelogchange|chargerloghealth)|robust_sharedlog)$')
fi
# The sanitizer build leaves out the benchmarks, so each build's tests are counted.
count() {
    (cd "$1" && ctest -N | sed -n 's/^Total Tests: //p')
}
tests=$(count build-test)
[ "${QORLOG_SKIP_SANITIZERS:-0}" != 1 ] && tests=$((tests + $(count build-asan)))
stage "All tests passed"
echo "ctest: $tests passed, 0 failed"
