# Sourced by the bench scripts: benchmark-only tools installed when missing,
# and the engine-only release build the converter benches run.

# install_missing PACKAGE...: installs the packages the caller found missing (none: nothing).
install_missing() {
  [ $# -gt 0 ] || return 0
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# build_engine BUILD_DIR TARGET...: configures BUILD_DIR as an engine-only
# release build unless it already has a converter, then builds TARGETs.
build_engine() {
  local build="$1"
  shift
  if [ ! -x "$build/bin/pixmorph-convert" ]; then
    cmake -S "$(dirname "${BASH_SOURCE[0]}")/.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DPICTORIA_BUILD_GUI=OFF >/dev/null
  fi
  cmake --build "$build" --target "$@" -j 2 >/dev/null
}
