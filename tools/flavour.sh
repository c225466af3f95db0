# Sourced by the demonstration and the benchmark (with root set): which build
# runs under Wine. The shipped 32-bit program; or, where the kernel executes
# no 32-bit x86 code, the same code built for 64-bit Windows, which Wine's
# 64-bit loader runs. Sets bits, toolchain, win (build folder) and folder
# (the program folder the build sees), and WINE for the 64-bit loader.
bits=32 toolchain=mingw-i686 win=$root/build/win folder='C:\Program Files (x86)\Morvain'
if ! bash "$root/tools/runs_x86.sh" 2>/dev/null; then
  echo "== This machine cannot execute 32-bit x86 code (the kernel's IA-32 emulation is off), so Wine" \
       "cannot run the 32-bit program: this runs the same code built for 64-bit Windows." >&2
  export WINE=/usr/lib/wine/wine64
  bits=64 toolchain=mingw-x86_64 win=$root/build/win-x64 folder='C:\Program Files\Morvain'
fi

# make_build DIR TOOLCHAIN TARGETS...: configures and builds only those targets.
make_build() {
  local dir=$1 chain=$2; shift 2
  mkdir -p "$dir"
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$chain.cmake" -DCMAKE_BUILD_TYPE=Release \
    >"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
  cmake --build "$dir" -j "$(nproc)" --target "$@" >>"$dir.log" 2>&1 || { tail -40 "$dir.log"; exit 1; }
}
