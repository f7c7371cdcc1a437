#!/bin/sh
# Runs fuzz targets one after another from a fixed seed over the committed
# corpus, which stays as it is: new inputs go to a scratch folder removed
# afterwards. Inputs that fail are kept in build-fuzz/findings/.
#   fuzz/run.sh [SECONDS [TARGET...]]    default: 60 seconds, every target
# Needs the fuzz build (see fuzz/README.md).
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-fuzz_cabinet fuzz_decoder fuzz_scan fuzz_payload fuzz_options fuzz_paths}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p build-fuzz/findings
for target in $targets; do
  dictionary=""
  case $target in
    fuzz_cabinet|fuzz_decoder|fuzz_scan) dictionary="-dict=fuzz/cabinet.dict" ;;
  esac
  mkdir "$scratch/$target"
  echo "== $target: $seconds s"
  # shellcheck disable=SC2086
  build-fuzz/bin/"$target" "$scratch/$target" "fuzz/corpus/$target" $dictionary \
    -seed=1 -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/findings/$target-" 2>"$scratch/$target.log" ||
    { tail -n 60 "$scratch/$target.log"; exit 1; }
  grep "^Done" "$scratch/$target.log" || true
done
