#!/usr/bin/env bash
# Fuzzing with libFuzzer (clang, ASan and UBSan in build-fuzz/):
#
#   fuzz/run.sh TARGET SECONDS [OPTION...]  fuzzes TARGET for SECONDS from its
#       seed corpus fuzz/corpus/TARGET (only read) with its dictionary and
#       input size; what it adds goes to build-fuzz/corpus/TARGET, crashing
#       inputs to build-fuzz/crashes/TARGET/. OPTIONs go to libFuzzer.
#   fuzz/run.sh coverage [TARGET [FOLDER...]]  line coverage of the code each
#       target drives, over its corpus and kept crashes (and FOLDERs), from a
#       clang coverage build in build-cov/.
#   fuzz/run.sh seeds  writes the seed inputs afresh (profiles from the
#       profile writer, replies and status pages from the test servers) and
#       minimises them into fuzz/corpus/.
#
# TARGET is one of: fuzz_http_reply fuzz_profile_load fuzz_url_split
# fuzz_status_page_scan. A crash found is fixed in the code and its input kept
# under fuzz/crashes/TARGET/, which ./test.sh replays with the corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=(fuzz_http_reply fuzz_profile_load fuzz_url_split fuzz_status_page_scan)

# The longest input worth trying (a little above the largest seed) and the
# sources of the parser each target is there for, then the other code it
# drives.
max_len() {
  case "$1" in
    fuzz_http_reply) echo 8192 ;;
    fuzz_profile_load) echo 20480 ;;
    fuzz_url_split) echo 512 ;;
    fuzz_status_page_scan) echo 4096 ;;
  esac
}
sources() {
  case "$1" in
    fuzz_http_reply) echo platform/http_reply.cpp ;;
    fuzz_profile_load)
      echo schedule/profile_reader.cpp schedule/settings_record.cpp schedule/entry_record.cpp \
        schedule/side_records.cpp schedule/profile_writer.cpp
      ;;
    fuzz_url_split) echo platform/url.cpp ;;
    fuzz_status_page_scan)
      echo monitor/status_page_scan.cpp monitor/find_new_mountpoints.cpp monitor/ignore_rules.cpp
      ;;
  esac
}

check_target() {
  local t
  for t in "${targets[@]}"; do [[ "$1" == "$t" ]] && return 0; done
  echo "unknown target '$1'; one of: ${targets[*]}" >&2
  exit 2
}

need() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "$tool is missing: sudo apt-get install clang llvm libclang-rt-dev" >&2
      exit 2
    fi
  done
}

launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

build_fuzzers() {
  need clang++
  if [[ ! -f "$root/build-fuzz/CMakeCache.txt" ]]; then
    CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DLARKSPAN_FUZZ=ON \
      "${launcher[@]}" >/dev/null
  fi
  cmake --build "$root/build-fuzz" --target "$@"
}

fuzz() {
  local target=$1 seconds=$2
  shift 2
  build_fuzzers "$target"
  local work="$root/build-fuzz/corpus/$target" crashes="$root/build-fuzz/crashes/$target"
  mkdir -p "$work" "$crashes"
  local options=(-max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10
    -artifact_prefix="$crashes/" -print_final_stats=1)
  if [[ -f "$root/fuzz/dict/$target.dict" ]]; then options+=(-dict="$root/fuzz/dict/$target.dict"); fi
  "$root/build-fuzz/fuzz/$target" "${options[@]}" "$@" "$work" "$root/fuzz/corpus/$target"
}

coverage() {
  need clang++ llvm-profdata llvm-cov
  local chosen=("${targets[@]}") extra=()
  if [[ $# -gt 0 ]]; then
    check_target "$1"
    chosen=("$1")
    extra=("${@:2}")
  fi
  local build="$root/build-cov"
  if [[ ! -f "$build/CMakeCache.txt" ]]; then
    CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DLARKSPAN_TESTS=OFF -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
      "${launcher[@]}" >/dev/null
  fi
  local t
  for t in "${chosen[@]}"; do
    cmake --build "$build" --target "${t}_corpus" >/dev/null
    rm -f "$build/$t.profraw"
    LLVM_PROFILE_FILE="$build/$t.profraw" "$build/fuzz/${t}_corpus" "$root/fuzz/corpus/$t" \
      "$root/fuzz/crashes/$t" "${extra[@]}" | tail -n 1
    llvm-profdata merge -sparse -o "$build/$t.profdata" "$build/$t.profraw"
    echo "== $t"
    # The report names files relative to the folder they have in common;
    # keep the target's own, with their line counts.
    local pattern
    pattern=$(sources "$t" | sed 's/ /|/g; s/\./\\./g')
    llvm-cov report "$build/fuzz/${t}_corpus" -instr-profile="$build/$t.profdata" \
      -show-region-summary=false -show-branch-summary=false |
      awk -v keep="^($pattern)\$" '$1 ~ keep { printf "  %-36s %5d lines %5d missed %8s\n", $1, $(NF-2), $(NF-1), $NF }'
  done
}

seeds() {
  need clang++
  if [[ ! -f "$root/build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$root/build" --target make_fuzz_seeds
  build_fuzzers "${targets[@]}"
  fresh=$(mktemp -d)
  trap 'rm -rf "$fresh"' EXIT
  "$root/build/fuzz/make_fuzz_seeds" "$fresh"
  local t
  for t in "${targets[@]}"; do
    rm -rf "$root/fuzz/corpus/$t.new"
    mkdir -p "$root/fuzz/corpus/$t.new"
    "$root/build-fuzz/fuzz/$t" -merge=1 -max_len="$(max_len "$t")" \
      "$root/fuzz/corpus/$t.new" "$fresh/$t" 2>"$fresh/$t.log" ||
      { cat "$fresh/$t.log" >&2; exit 1; }
    rm -rf "$root/fuzz/corpus/$t"
    mv "$root/fuzz/corpus/$t.new" "$root/fuzz/corpus/$t"
    echo "$t: $(ls "$fresh/$t" | wc -l) seeds, $(ls "$root/fuzz/corpus/$t" | wc -l) kept"
  done
}

case "${1:-}" in
  coverage) shift; coverage "$@" ;;
  seeds) seeds ;;
  "" | -h | --help) sed -n '2,19p' "$0"; exit 2 ;;
  *)
    [[ $# -ge 2 ]] || { sed -n '2,19p' "$0"; exit 2; }
    check_target "$1"
    fuzz "$@"
    ;;
esac
