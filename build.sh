#!/usr/bin/env bash
# Builds Tidewright and runs it, its tests or its benchmarks.
#   ./build.sh run        build, then start the program on the built-in simulator
#   ./build.sh test       build, then run every test
#   ./build.sh bench      build, then run the benchmarks
#   ./build.sh asan       build with AddressSanitizer and UBSan (build-asan/) and run every test
#   ./build.sh tsan       build with ThreadSanitizer (build-tsan/) and run every test
# Missing Debian packages are installed first (as root, or through sudo).
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev
          libbenchmark-dev fonts-dejavu-core)

install_missing() {
    local missing=()
    for p in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
}

configure_and_build() { # dir, extra cmake options...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DTW_WERROR=ON "$@"
    cmake --build "$dir"
}

run_tests() { # dir
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$1" --output-on-failure -j "$(nproc)"
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
asan)
    install_missing
    configure_and_build build-asan -DTW_SANITIZE=ON -DTW_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-asan
    ;;
tsan)
    install_missing
    configure_and_build build-tsan -DTW_TSAN=ON -DTW_BENCH=OFF
    TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" run_tests build-tsan
    ;;
*)
    sed -n '2,8p' "$0"
    exit 2
    ;;
esac
