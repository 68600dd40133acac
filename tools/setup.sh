#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   tools/setup.sh run [TABLE.DBF]   install what is missing, build, start Molvane
#   tools/setup.sh test              install what is missing, build, run the whole test suite
set -euo pipefail
mode=${1:-run}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libgl-dev
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
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$build" -j "$jobs"

case "$mode" in
  run)
    exec "$build/apps/molvane/molvane" "$@"
    ;;
  test)
    export QT_QPA_PLATFORM=offscreen
    HOME=$(mktemp -d)
    export HOME
    export MOLVANE_FIXTURES=${MOLVANE_FIXTURES:-$root/../shared/fixtures}
    if [ -x "$root/tools/fuzz.sh" ]; then
      "$root/tools/fuzz.sh" "$build-fuzz"
    fi
    cd "$build"
    ctest --output-on-failure -j "$jobs" --timeout 600
    ;;
  *)
    echo "usage: $0 run [TABLE.DBF] | test" >&2
    exit 2
    ;;
esac
