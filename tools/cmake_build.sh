# Sourced by the test, demonstration, benchmark and screenshot scripts, with
# root set.

# build DIR TOOLCHAIN [CMAKE ARGS...]: configures and builds DIR (every
# target, or those named in $targets), logging to DIR.log and showing only
# trouble; a warning fails the build like an error.
build() {
  local dir=$1 toolchain=$2; shift 2
  mkdir -p "$dir"
  cmake -S "$root" -B "$dir" ${toolchain:+-DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake"} "$@" \
    >"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
  # shellcheck disable=SC2086 # the target names are words
  cmake --build "$dir" -j "$(nproc)" ${targets:+--target $targets} >>"$dir.log" 2>&1 ||
    { grep -E -B2 -A6 'error|warning' "$dir.log" | head -80; exit 1; }
  ! grep -E 'warning:' "$dir.log" || exit 1
}

# build_win DIR [TARGET...]: installs what is missing, then cross-builds the
# program with its tests and helpers, all of them or the targets named.
build_win() {
  local dir=$1; shift
  bash "$root/tools/deps.sh"
  targets="$*" build "$dir" mingw-i686 -DCMAKE_BUILD_TYPE=MinSizeRel -DQUORVEX_TESTS=ON -DQUORVEX_TEST_ARCHES="64;32"
}
