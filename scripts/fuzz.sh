#!/bin/bash
# Builds the libFuzzer harnesses (clang, ZYN_FUZZ=ON, in build/fuzz or
# $ZYN_FUZZ_BUILD) and runs them one after another, each as a single job,
# then prints the executions and findings of each.
#
#   scripts/fuzz.sh [--runs N | --time SECONDS] [--seeds] [harness...]
#
# --runs N       stop each harness after N executions (default 100000)
# --time SECONDS stop each harness after that many seconds (with --runs as
#                well: whichever comes first)
# --seeds        regenerate the committed seed corpora in fuzz/corpus from
#                the pack zyn-assetgen made, then fuzz as asked
# harness        names such as pac or object_stream; default: all of them
#
# Each harness grows its own corpus in <build>/corpus/<name> (the committed
# seeds in fuzz/corpus/<name> are read, never written) and writes what it
# finds to <build>/findings/<name>. Findings are the crash, leak, timeout and
# out-of-memory files of this run; the exit status is 1 when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${ZYN_FUZZ_BUILD:-$root/build/fuzz}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

runs=""
seconds=""
seeds=0
names=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --time) seconds="$2"; shift 2 ;;
    --seeds) seeds=1; shift ;;
    -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) names+=("$1"); shift ;;
  esac
done
if [ ${#names[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do
    n="$(basename "$f" _fuzz.cpp)"
    names+=("$n")
  done
fi
for n in "${names[@]}"; do
  if [ ! -f "fuzz/${n}_fuzz.cpp" ]; then
    echo "fuzz.sh: no harness named $n" >&2
    exit 2
  fi
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZYN_FUZZ=ON -DZYN_BUILD_TESTS=OFF -DZYN_BUILD_BENCH=OFF >/dev/null
fi
targets=()
for n in "${names[@]}"; do targets+=("${n}_fuzz"); done
[ "$seeds" -eq 1 ] && targets+=(zyn-fuzz-seeds)
cmake --build "$build" -j2 --target "${targets[@]}"

if [ "$seeds" -eq 1 ]; then
  rm -rf "$root/fuzz/corpus.new"
  GALLIUM_DRIVER=softpipe "$build/fuzz/zyn-fuzz-seeds" "$build/data/RezAduva.pac" "$root/fuzz/corpus.new"
  rm -rf "$root/fuzz/corpus"
  mv "$root/fuzz/corpus.new" "$root/fuzz/corpus"
  echo "Seed corpora written to fuzz/corpus"
fi

[ -n "$runs" ] || [ -n "$seconds" ] || runs=100000
limit=()
budget=""
if [ -n "$runs" ]; then
  limit+=(-runs="$runs")
  budget="$runs runs"
fi
if [ -n "$seconds" ]; then
  limit+=(-max_total_time="$seconds")
  budget="${budget:+$budget or }$seconds s"
fi

results=()
total_findings=0
for n in "${names[@]}"; do
  corpus="$build/corpus/$n"
  findings="$build/findings/$n"
  work="$build/fuzz-runs/$n"
  mkdir -p "$corpus" "$findings" "$work"
  seeds_dir="$root/fuzz/corpus/$n"
  [ -d "$seeds_dir" ] || seeds_dir=""
  before="$(ls "$findings" | wc -l)"
  rm -f "$work"/fuzz-*.log
  echo "== $n ($budget)"
  # -close_fd_mask=2 keeps the framework's log lines out of libFuzzer's own
  # output; sanitizer reports still reach it.
  (cd "$work" && UBSAN_OPTIONS=print_stacktrace=1 "$build/fuzz/${n}_fuzz" \
    -jobs=1 -workers=1 "${limit[@]}" -print_final_stats=1 -close_fd_mask=2 \
    -timeout=30 -rss_limit_mb=3072 -artifact_prefix="$findings/" \
    "$corpus" ${seeds_dir:+"$seeds_dir"} >/dev/null 2>&1) || true
  log="$work/fuzz-0.log"
  executed="?"
  if [ -f "$log" ]; then
    executed="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    [ -n "$executed" ] || executed="$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -1)"
    [ -n "$executed" ] || executed="?"
  fi
  after="$(ls "$findings" | wc -l)"
  found=$((after - before))
  total_findings=$((total_findings + found))
  results+=("$(printf '%-16s %12s %9s' "$n" "$executed" "$found")")
  if [ "$found" -gt 0 ]; then
    ls -t "$findings" | head -n "$found" | sed "s|^|   finding: $findings/|"
    echo "   log: $log"
  fi
done

echo
printf '%-16s %12s %9s\n' harness executions findings
for r in "${results[@]}"; do echo "$r"; done
[ "$total_findings" -eq 0 ]
