#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time each.
#   tests/fuzz/run-fuzzers.sh <build-dir> <seconds-per-target> [target...]
# Each target starts from its committed seeds and kept regression inputs
# plus the corpus it grew in earlier runs (<build-dir>/fuzz-corpus/<name>).
# A crash, leak, timeout or sanitizer report fails the run; the input is
# left in <build-dir>/fuzz-artifacts/ to be kept as a regression input.
set -u
build=${1:?build dir}
seconds=${2:?seconds per target}
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_config_reader fuzz_number_conversion fuzz_unwrap fuzz_video_open
  fuzz_view_path fuzz_typed_numbers fuzz_ring_detect fuzz_spherical_inject)

declare -A seeds=(
  [fuzz_config_reader]="tests/config/fuzz/corpus/reader"
  [fuzz_number_conversion]="tests/config/fuzz/corpus/number"
  [fuzz_unwrap]="tests/fuzz/corpus/unwrap tests/fuzz/regressions/unwrap"
  [fuzz_video_open]="tests/fuzz/corpus/video_open tests/fuzz/regressions/video_open"
  [fuzz_view_path]="tests/fuzz/corpus/view_path tests/fuzz/regressions/view_path"
  [fuzz_typed_numbers]="tests/fuzz/corpus/typed_numbers tests/fuzz/regressions/typed_numbers"
  [fuzz_ring_detect]="tests/fuzz/corpus/ring_detect tests/fuzz/regressions/ring_detect"
  [fuzz_spherical_inject]="tests/fuzz/corpus/spherical_inject tests/fuzz/regressions/spherical_inject"
)
declare -A options=(
  [fuzz_config_reader]="-max_len=4096"
  [fuzz_number_conversion]="-max_len=64"
  [fuzz_unwrap]="-max_len=128"
  [fuzz_video_open]="-max_len=65536 -timeout=60"
  [fuzz_view_path]="-max_len=4096"
  [fuzz_typed_numbers]="-max_len=64"
  [fuzz_ring_detect]="-max_len=512"
  [fuzz_spherical_inject]="-max_len=8192"
)
# Every video input is a pipeline build; GStreamer's and GLib's process-wide
# caches (registry, type system, thread pools) look like leaks at exit.
declare -A asan=(
  [fuzz_video_open]="detect_leaks=0"
)

mkdir -p "$build/fuzz-artifacts"
failed=0
for t in "${targets[@]}"; do
  bin="$build/bin/$t"
  if [ ! -x "$bin" ]; then echo "== $t: not built ($bin)"; failed=1; continue; fi
  corpus="$build/fuzz-corpus/${t#fuzz_}"
  mkdir -p "$corpus"
  dirs=()
  for d in ${seeds[$t]}; do [ -d "$root/$d" ] && dirs+=("$root/$d"); done
  log="$build/fuzz-artifacts/$t.log"
  echo "== $t: ${seconds}s"
  ASAN_OPTIONS=${asan[$t]:-} UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 TMPDIR=${TMPDIR:-/tmp} \
    "$bin" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/$t-" ${options[$t]} "$corpus" "${dirs[@]}" >"$log" 2>&1
  rc=$?
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$log" | sed 's/^/   /'
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" | sort -u | sed 's/^/   /'
  if [ $rc -ne 0 ]; then
    echo "== $t FAILED (exit $rc); log: $log"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5
    failed=1
  fi
done
exit $failed
