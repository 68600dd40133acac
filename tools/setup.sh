#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   tools/setup.sh run [TABLE.DBF]   install what is missing, build, start Molvane
#   tools/setup.sh kalender          install what is missing, build, start Kalender
#   tools/setup.sh test              install what is missing, build, run the whole test suite
set -euo pipefail
mode=${1:-run}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libgl-dev qt6-translations-l10n
          libgtest-dev libgmock-dev libbenchmark-dev
          fonts-liberation fonts-dejavu-core)
if [ "$mode" = test ]; then
  # independent readers of what we write, and the fuzzing tool chain
  packages+=(libdbd-xbase-perl fpc fp-units-db clang libclang-rt-14-dev xvfb xauth poppler-utils)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
# The test run needs no benchmarks (the programs' own runs build them) and no debugger
# information, which takes a third of the compile time.
config=(-DMOLVANE_BUILD_BENCH=ON)
[ "$mode" = test ] && config=(-DMOLVANE_BUILD_BENCH=OFF "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG")
if [ "$mode" = test ]; then
  export QT_QPA_PLATFORM=offscreen
  # The programs write their settings below HOME: a home of the run's own, removed after.
  # Set before the build, which lists each test program's tests by running it.
  HOME=$(mktemp -d)
  export HOME
  trap 'rm -rf "$HOME"' EXIT
  # Lock files of running instances too, which Qt would otherwise leave in the temp folder.
  export XDG_RUNTIME_DIR="$HOME/run"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${config[@]}" > /dev/null
cmake --build "$build" -j "$jobs"

case "$mode" in
  run)
    exec "$build/bin/molvane" "$@"
    ;;
  kalender)
    exec "$build/bin/kalender"
    ;;
  test)
    if [ -x "$root/tools/fuzz.sh" ]; then
      "$root/tools/fuzz.sh" "$build-fuzz"
    fi
    (cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 600)
    # The layers without Qt once more under AddressSanitizer and UndefinedBehaviorSanitizer.
    cmake -S "$root" -B "$build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" \
      -DMOLVANE_PLAIN_ONLY=ON -DMOLVANE_SANITIZE=ON -DMOLVANE_BUILD_BENCH=OFF > /dev/null
    cmake --build "$build-asan" -j "$jobs"
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    (cd "$build-asan" && ctest --output-on-failure -j "$jobs" --timeout 900)
    ;;
  *)
    echo "usage: $0 run [TABLE.DBF] | kalender | test" >&2
    exit 2
    ;;
esac
