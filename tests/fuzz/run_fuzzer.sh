#!/bin/sh
# Runs one fuzz target for a while from its committed seeds:
#   run_fuzzer.sh BINARY SECONDS WORK_DIR [LIBFUZZER_OPTION...]
# A corpus/<name>.dict beside the seeds gives the fuzzer the tokens that matter to the target.
# New inputs go to WORK_DIR/<name>/corpus (the committed seeds are only read); a finding is kept
# as WORK_DIR/<name>/finding-* and makes the exit status non-zero.
set -eu
binary=$1 seconds=$2 work=$3
shift 3
name=$(basename "$binary")
name=${name#fuzz_}
work=$work/$name
seeds=$(dirname "$0")/corpus/$name
[ -f "$seeds.dict" ] && set -- "$@" -dict="$seeds.dict"
mkdir -p "$work/corpus"
exec "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$work/finding-" "$@" "$work/corpus" "$seeds"
