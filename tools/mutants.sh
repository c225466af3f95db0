#!/usr/bin/env bash
# The fault check: plants each fault of tools/mutants.txt, one at a time, into
# a scratch copy of the tree (as it stands, uncommitted changes included),
# builds it and runs the tests meant to catch it. One line per fault:
#   caught by TEST [road: ...]  the suite fails on it, as it must
#   survived                    no test shows the behaviour: a gap to close
#   stale                       its text is no longer in the file: renew the row
#   does not build              the replacement is no fault, only a typo
# "bash tools/mutants.sh TEXT" plants only the rows whose line holds TEXT.
# Exits non-zero unless every fault is caught. Not part of the test command:
# each fault costs a build and a Wine run, a minute or two. Run it before an
# issue is called resolved.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(realpath -m "${MUTANTS_DIR:-/var/tmp/quorvex-mutants}")
table=$root/tools/mutants.txt
only=${1:-}
rm -rf "$scratch/src"
mkdir -p "$scratch/src"
(cd "$root" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$scratch/src")
src=$scratch/src
status=0

# plant FILE TEXT REPLACEMENT: the first TEXT in FILE replaced ("\n" in the
# replacement is a line break); false when TEXT is not there.
plant() {
  python3 - "$src/$1" "$2" "$3" <<'EOF'
import sys
path, text, replacement = sys.argv[1], sys.argv[2], sys.argv[3].replace("\\n", "\n")
body = open(path, encoding="utf-8").read()
if text not in body:
    sys.exit(1)
open(path, "w", encoding="utf-8").write(body.replace(text, replacement, 1))
EOF
}

# The failing tests of a GoogleTest log, and the roads they failed on.
verdict() {
  local failed roads
  failed=$(grep -E '^\[  FAILED  \] [A-Za-z]' "$1" | grep -v ' listed below' | awk '{print $4}' | sort -u | paste -sd' ')
  roads=$(grep -A1 '^Google Test trace:' "$1" | grep -E '\.cpp:[0-9]+: ' | sed -E 's/.*\.cpp:[0-9]+: //' |
    sort -u | head -3 | paste -sd';')
  [ -n "$failed" ] || return 1
  echo "caught by $failed${roads:+ [road: ${roads//;/; }]}"
}

while IFS=$'\t' read -r file text replacement tests; do
  [[ -z "$file" || "$file" == \#* ]] && continue
  [[ -z "$only" || "$file	$text	$replacement	$tests" == *"$only"* ]] || continue
  cp "$root/$file" "$src/$file"
  log=$scratch/fault.log
  if ! plant "$file" "$text" "$replacement"; then
    echo "stale: $file: $text"; status=1; continue
  fi
  if [[ "$tests" == native\ * ]]; then
    out=$scratch/native
    { cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=Debug && cmake --build "$out" -j "$(nproc)"; } >"$log" 2>&1 &&
      ASAN_OPTIONS=detect_leaks=0 "$out/native_tests" --gtest_filter="${tests#native }" >"$log" 2>&1
  else
    QUORVEX_BUILD=$scratch/build GTEST_FILTER=$tests bash "$src/tools/test.sh" -R w64 >"$log" 2>&1
  fi
  result=$?
  if [ $result = 0 ]; then
    line="survived"; status=1
  elif grep -qE '(error|undefined reference)' "$log" && ! grep -q '^\[==========\]' "$log"; then
    line="does not build"; status=1
  else
    line=$(verdict "$log") || { line="survived (the run failed without a failing test)"; status=1; }
  fi
  echo "$line: $file: $text"
  cp "$root/$file" "$src/$file"
done <"$table"
exit $status
