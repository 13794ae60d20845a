#!/usr/bin/env bash
# Runs the README's collection recipe, as written there, over two small synthetic disks.
# Usage: parallel_recipe.sh SOURCE_DIR QUENDISK QUENSYNTH
set -euo pipefail
src=$1 quendisk=$2 quensynth=$3

if ! command -v parallel >/dev/null 2>&1; then
  echo "SKIP: GNU parallel is not installed (Debian package parallel)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/dumps/disk-a" "$work/dumps/disk-b"
ln -s "$quendisk" "$work/bin/quendisk"
"$quensynth" --disk "$work/dumps/disk-a"
"$quensynth" --disk "$work/dumps/disk-b"
rm "$work/dumps/disk-b/track04.1.raw"  # one disk without a failed file

# The fenced block after the recipe's marker line.
recipe=$(awk '/<!-- collection recipe:/ { on = 1; next } on && /^```sh/ { inside = 1; next }
              inside && /^```/ { exit } inside { print }' "$src/README.md")
[ -n "$recipe" ] || { echo "FAIL: no recipe found in README.md"; exit 1; }

cd "$work"
# parallel keeps its own state under HOME; the test must not touch the user's.
HOME="$work" PATH="$work/bin:$PATH" bash -euo pipefail -c "$recipe"

fail() { echo "FAIL: $*"; exit 1; }
for d in disk-a disk-b; do
  for f in table.txt summary.csv summary.json reports/track00.0.txt; do
    [ -s "out/$d/$f" ] || fail "out/$d/$f missing"
  done
  python3 -m json.tool "out/$d/summary.json" >/dev/null || fail "out/$d/summary.json does not parse"
done
exits=$(awk -F'\t' 'NR > 1 { print $7 }' out/joblog.tsv | sort | tr '\n' ' ')
[ "$exits" = "0 1 " ] || fail "exit codes in the job log: $exits"
python3 - out/collection.csv <<'PY' || fail "merged CSV"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1], newline='')))
disks = sorted({r['disk'] for r in rows})
assert disks == ['disk-a', 'disk-b'], disks
assert len(rows) == 11, len(rows)
assert [r['status'] for r in rows if r['disk'] == 'disk-a'].count('failed') == 1
PY
echo "recipe ran over two disks: $(($(wc -l < out/collection.csv) - 1)) track sides merged"
