#!/usr/bin/env bash
# quendisk's Extended DSK of a synthetic disk, read by an independent reader (libdsk-utils):
# the ID fields as stored, and the sectors that read, against the plain image.
# Usage: libdsk_check.sh QUENDISK QUENSYNTH
set -euo pipefail
quendisk=$1 quensynth=$2

if ! command -v dskscan >/dev/null 2>&1 || ! command -v dsktrans >/dev/null 2>&1; then
  echo "SKIP: dskscan/dsktrans are not installed (Debian package libdsk-utils)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/disk"
fail() { echo "FAIL: $*"; exit 1; }

"$quensynth" --image-disk "$work/disk" > "$work/ids.expected"
"$quendisk" "$work/disk" --image "$work/disk.img" --edsk "$work/disk.dsk" --json "$work/disk.json" \
  > /dev/null 2> "$work/quendisk.err" || fail "quendisk: $(cat "$work/quendisk.err")"

# The tools redraw progress lines with carriage returns.
dskscan -type edsk "$work/disk.dsk" 2>&1 | tr '\r' '\n' |
  awk '$1 == "Cyl" && $3 == "Head" { print $2 + 0, $4, $6, $8 }' > "$work/ids.scanned"
diff "$work/ids.expected" "$work/ids.scanned" || fail "dskscan lists other ID fields"

last=$(( $(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["image"]["geometry"]["cylinders"])' \
  "$work/disk.json") - 1 ))
dsktrans -stubborn -itype edsk -otype raw -format ibm360 -last "$last" "$work/disk.dsk" "$work/back.img" \
  2>&1 | tr '\r' '\n' > "$work/dsktrans.log" || fail "dsktrans: $(grep -v '^ *$' "$work/dsktrans.log")"

python3 - "$work/disk.json" "$work/disk.img" "$work/back.img" "$work/dsktrans.log" <<'PY'
import json, sys
image = json.load(open(sys.argv[1]))["image"]
ours, theirs = open(sys.argv[2], "rb").read(), open(sys.argv[3], "rb").read()
g = image["geometry"]
size, per_track = g["sector_bytes"], g["sectors"]
bad = {(b["cylinder"], b["head"], b["sector"]) for b in image["bad_sectors"]}
assert bad, "the disk has no sector with an error status"
compared = 0
for c in range(g["cylinders"]):
    for h in range(g["heads"]):
        for r in range(g["first_sector"], g["first_sector"] + per_track):
            if (c, h, r) in bad:
                continue
            at = ((c * g["heads"] + h) * per_track + (r - g["first_sector"])) * size
            assert ours[at:at + size] == theirs[at:at + size], f"sector {c}.{h}.{r} differs"
            compared += 1
errors = sum(1 for line in open(sys.argv[4]) if line.startswith("Ignored read error"))
assert errors == len(bad), f"{errors} read errors for {len(bad)} sectors with an error status"
print(f"libdsk agrees: {compared} sectors equal, {errors} read errors for {len(bad)} flagged sectors")
PY
