#!/usr/bin/env bash
# Compares (or, with --update, records) the whole output of the analyser on the sample
# and on the real captures beside the checkout: the report after its banner line (the
# banner carries the run time), standard error, and the plot files of -t.
# usage: golden.sh QUENANALYZE SOURCE_DIR [--update]
set -euo pipefail
bin=$(realpath "$1")
src=$(realpath "$2")
update=${3:-}
golden="$src/tests/golden"
realdata="$src/../shared/realdata"

option_sets=("" -v -f -s -p -c -m -b -r2 -r3 -t -fv -cm -sp -bv)

inputs=("$src/samples/dd9.raw")
if [ -d "$realdata" ]; then
  for f in "$realdata"/track*.raw; do inputs+=("$f"); done
else
  echo "golden: no real captures at $realdata, comparing the sample only"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for input in "${inputs[@]}"; do
  name=$(basename "$input" .raw)
  for opts in "${option_sets[@]}"; do
    set_name=${opts#-}
    set_name=${set_name:-default}
    run="$work/$name-$set_name"
    mkdir -p "$run"
    ln -s "$input" "$run/$name.raw"
    rc=0
    (cd "$run" && "$bin" $opts "$name.raw" >stdout.txt 2>stderr.txt) || rc=$?
    tail -n +2 "$run/stdout.txt" >"$run/report.txt"
    echo "exit $rc" >>"$run/report.txt"
    (cd "$run" && find . -name '*.dat' -printf '%P\n' | LC_ALL=C sort | xargs -r sha256sum) >"$run/plots.sha256"
    want="$golden/$name/$set_name"
    if [ "$update" = --update ]; then
      mkdir -p "$want"
      cp "$run/report.txt" "$want/report.txt"
      cp "$run/stderr.txt" "$want/stderr.txt"
      if [ -s "$run/plots.sha256" ]; then cp "$run/plots.sha256" "$want/plots.sha256"; else rm -f "$want/plots.sha256"; fi
      continue
    fi
    [ -s "$run/plots.sha256" ] || rm -f "$run/plots.sha256"
    for part in report.txt stderr.txt plots.sha256; do
      if [ -e "$want/$part" ] || [ -e "$run/$part" ]; then
        if ! cmp -s "$want/$part" "$run/$part"; then
          echo "golden: $name $opts: $part differs"
          diff "$want/$part" "$run/$part" | head -20 || true
          failed=1
        fi
      fi
    done
  done
done
[ "$update" = --update ] && { echo "golden: recorded under $golden"; exit 0; }
[ $failed -eq 0 ] && echo "golden: ${#inputs[@]} inputs x ${#option_sets[@]} option sets identical"
exit $failed
