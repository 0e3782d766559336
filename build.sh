#!/usr/bin/env bash
# Builds Tidewright and runs it, its tests or its benchmarks.
#   ./build.sh run        build, then start the program on the built-in simulator
#   ./build.sh test       build, then run every test
#   ./build.sh bench      build, then run the benchmarks
#   ./build.sh package    build the Debian package (build/tidewright_VERSION_ARCH.deb)
#   ./build.sh screenshots  draw the README's pictures (docs/*.png) offscreen
#   ./build.sh asan [CTEST ARGS]   build with AddressSanitizer and UBSan (build-asan/), run the tests
#   ./build.sh tsan [CTEST ARGS]   build with ThreadSanitizer (build-tsan/), run the tests
#                          (CTEST ARGS choose tests, for example -R 'comms|session')
#   ./build.sh fuzz [SECONDS]      build the fuzz targets with clang (build-fuzz/) and run each
#                          for SECONDS (default 30) from its seed corpus
# Missing Debian packages are installed first (as root, or through sudo). Any sanitizer report
# fails the test that made it. Under the sanitizers the tests' time bounds stretch by
# TW_TIME_SCALE (set here unless given), never what they check.
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev
          qt6-svg-dev libbenchmark-dev fonts-dejavu-core dpkg-dev file appstream)

# apt-get that waits for another package manager (a fresh desktop often updates itself at first
# boot) instead of failing at once. dpkg's own lock is waited for by apt; the lists lock of
# "apt-get update" is not, so a refused lock is tried again for up to ten minutes.
apt_get() {
    local sudo="" deadline=$((SECONDS + 600)) err
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    err=$(mktemp)
    while :; do
        if $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@" \
            2>"$err"; then
            rm -f "$err"
            return 0
        fi
        cat "$err" >&2
        if ! grep -qi 'lock' "$err" || [ $SECONDS -ge $deadline ]; then
            rm -f "$err"
            return 1
        fi
        echo "Another package manager is at work; waiting for it..." >&2
        sleep 5
    done
}

install_missing() {
    local missing=()
    for p in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    apt_get update -q
    apt_get install -y -q "${missing[@]}"
}

configure_and_build() { # dir, extra cmake options...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DTW_WERROR=ON "$@"
    cmake --build "$dir"
}

run_tests() { # dir, extra ctest arguments...
    local dir=$1
    shift
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
}

# The test executables that the ctest arguments select (all of them without a -R), so that a
# sanitizer run of a few tests builds only those.
selected_targets() { # dir, extra ctest arguments...
    local dir=$1
    shift
    ctest --test-dir "$dir" -N "$@" | sed -n 's/^ *Test *#[0-9]*: *\([a-z0-9_]*\).*/\1/p' |
        sed 's/_[A-Z].*//' | sort -u | sed 's/^/tst_/'
}

case "${1:-}" in
run)
    install_missing
    configure_and_build build
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        exec build/app/tidewright --simulator
    fi
    # No screen here: run the window offscreen, keep a picture of it, and show the traffic
    # through the command-line tool instead.
    echo "No display: the window runs offscreen; its picture goes to build/tidewright.png"
    QT_QPA_PLATFORM=offscreen build/app/tidewright --simulator --screenshot build/tidewright.png
    build/cli/tidewright-cli --simulator identify
    echo "Live traffic from the simulated multiplexer (5 s):"
    exec build/cli/tidewright-cli --simulator monitor --seconds 5
    ;;
test)
    install_missing
    configure_and_build build
    run_tests build
    ;;
bench)
    install_missing
    configure_and_build build -DCMAKE_BUILD_TYPE=Release
    build/bench/tidewright-bench
    build/bench/tidewright-loadbench
    build/bench/tidewright-readbench
    ;;
package)
    install_missing
    configure_and_build build
    cmake --build build --target package
    ls -l build/*.deb
    ;;
screenshots)
    install_missing
    configure_and_build build
    mkdir -p docs
    for shot in "main-window:NMEA Inputs/Outputs" "options-tab:Options"; do
        QT_QPA_PLATFORM=offscreen build/app/tidewright --simulator --tab "${shot#*:}" \
            --screenshot "docs/${shot%%:*}.png"
    done
    ls -l docs/*.png
    ;;
asan)
    shift
    install_missing
    configure_and_build build-asan -DTW_SANITIZE=ON -DTW_BENCH=OFF
    TW_TIME_SCALE=${TW_TIME_SCALE:-3} ASAN_OPTIONS=detect_leaks=1 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_tests build-asan "$@"
    ;;
tsan)
    shift
    install_missing
    cmake -S . -B build-tsan -G Ninja -DTW_WERROR=ON -DTW_TSAN=ON -DTW_BENCH=OFF
    # shellcheck disable=SC2046
    cmake --build build-tsan --target $(selected_targets build-tsan "$@")
    # Each test's suppression file is set by tests/CMakeLists.txt.
    TW_TIME_SCALE=${TW_TIME_SCALE:-5} run_tests build-tsan "$@"
    ;;
fuzz)
    install_missing clang libclang-rt-14-dev
    fuzz/run.sh "${2:-30}"
    ;;
*)
    sed -n '2,17p' "$0"
    exit 2
    ;;
esac
