#!/usr/bin/env bash
# Opens quendisk's page of a small synthetic disk in a real browser (headless chromium)
# and checks the DOM the browser built: every track side's cell with its status, every
# link pointing at a file that exists, a hostile folder name shown as text, the disk
# map's shapes, each timing section opened by its row's link, and no text of the
# page's pictures overlapping another or its picture's edge.
#   page_test.sh QUENDISK QUENSYNTH
# Exit status 77 (skipped) when chromium is not installed.
set -euo pipefail

quendisk=${1:?path of quendisk}
quensynth=${2:?path of quensynth}

browser=$(command -v chromium || command -v chromium-browser || true)
if [[ -z $browser ]]; then
    echo "SKIP: chromium is not installed (Debian package chromium); the page cannot be checked in a browser"
    exit 77
fi
command -v python3 >/dev/null 2>&1 || { echo "FAIL: python3 is needed to read the DOM" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A folder name that is markup, a fragment, a query and an escape at once.
hostile='<script>alert("x")</script>'
hostile=${hostile//\//|}' #1 ?a=%41&b'"'"
disk="$work/$hostile"
out="$work/$hostile.out"
mkdir -p "$disk" "$work/page"
"$quensynth" --disk "$disk" || fail "quensynth --disk failed"

# The disk's track sides and the status each must show; the other cells have no file.
expected='00.0 clean
01.0 clean
02.0 protected
03.0 faults
04.1 failed
05.1 clean'

pictures=()
if command -v ploticus >/dev/null 2>&1; then
    pictures=(--pictures)
else
    echo "note: ploticus is not installed, the page is checked without pictures"
fi

# The page lies outside OUTDIR: its links have to climb into a folder with the hostile name.
page="$work/page/index.html"
status=0
"$quendisk" -j2 --html "$page" ${pictures[@]+"${pictures[@]}"} "$disk" "$out" \
    >"$work/table.txt" 2>"$work/err.txt" </dev/null || status=$?
[[ $status -eq 1 ]] || { cat "$work/err.txt" >&2; fail "quendisk ended with $status, not 1 (one file fails)"; }
[[ -s $page ]] || fail "no page written"

if command -v tidy >/dev/null 2>&1; then
    # Debian's tidy predates the img element's loading attribute and inline SVG (the
    # browser checks the pictures below); anything else it says counts.
    python3 -c 'import re, sys; print(re.sub(r"<svg[^>]*>.*?</svg>", "", open(sys.argv[1], encoding="utf-8").read(), flags=re.S), end="")' \
        "$page" >"$work/no-svg.html"
    tidy -e -q "$work/no-svg.html" 2>"$work/tidy.txt" || true
    if grep -v 'proprietary attribute "loading"' "$work/tidy.txt" >"$work/tidy-left.txt"; then
        cat "$work/tidy-left.txt" >&2
        fail "tidy finds the page not valid"
    fi
else
    echo "note: tidy is not installed, the page's validity is not checked"
fi

# Every switch keeps the browser from reaching out or keeping state between runs; a
# browser that hangs fails the test instead of holding up the suite.
dom() {  # dom URL OUTPUT
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$work/profile" \
        --virtual-time-budget=2000 --dump-dom "$1" >"$2" 2>"$work/browser.txt" </dev/null ||
        { tail -20 "$work/browser.txt" >&2; fail "chromium could not load $1"; }
    [[ -s $2 ]] || fail "chromium gave no DOM for $1"
}
dom "file://$page" "$work/dom.html"

# Following a row's timing link must open its section: the browser opens a closed
# section when the link's target lies inside it.
opened=0
for label in $(grep -o 'href="#timing-[0-9.]*"' "$page" | sed 's/.*#timing-//; s/"//'); do
    opened=$((opened + 1))
    dom "file://$page#timing-$label" "$work/opened.html"
    python3 - "$work/opened.html" "timing-$label" <<'EOF'
import re, sys
dom, target = open(sys.argv[1], encoding="utf-8").read(), sys.argv[2]
at = dom.find(f'id="{target}"')
opening = dom.rfind("<details", 0, at)
if at < 0 or opening < 0 or not re.match(r"<details[^>]*\bopen\b", dom[opening:]):
    sys.exit(f"FAIL: the link to #{target} does not open its section")
EOF
done
[[ $opened -eq $(($(wc -l <<<"$expected") - 1)) ]] || fail "$opened timing links, not one per analysed track side"

# The page's pictures measured by the browser: a copy that opens every section and
# writes each SVG text's box into the DOM.
cat "$page" - >"$work/page/measure.html" <<'EOF'
<script>
for (const d of document.querySelectorAll("details")) d.open = true;
const boxes = [...document.querySelectorAll("svg")].map(svg => {
  const b = svg.getBoundingClientRect();
  return {svg: [b.left, b.top, b.right, b.bottom],
          texts: [...svg.querySelectorAll("text")].map(t => {
            const r = t.getBoundingClientRect();
            return [t.textContent, r.left, r.top, r.right, r.bottom];
          })};
});
const out = document.createElement("pre");
out.id = "boxes";
out.textContent = JSON.stringify(boxes);
document.body.append(out);
</script>
EOF
dom "file://$work/page/measure.html" "$work/measured.html"
python3 - "$work/measured.html" <<'EOF'
import html, json, re, sys
text = re.search(r'<pre id="boxes">(.*?)</pre>', open(sys.argv[1], encoding="utf-8").read(), re.S)
if not text: sys.exit("FAIL: the text boxes were not measured")
pictures = json.loads(html.unescape(text.group(1)))
problems = []
if len(pictures) < 2: problems.append(f"only {len(pictures)} pictures measured")
slack = 0.5  # sub-pixel rounding of neighbouring boxes
for n, p in enumerate(pictures):
    left, top, right, bottom = p["svg"]
    texts = p["texts"]
    for name, l, t, r, b in texts:
        if r - l <= 0: problems.append(f"picture {n}: {name!r} has no box")
        if l < left - slack or t < top - slack or r > right + slack or b > bottom + slack:
            problems.append(f"picture {n}: {name!r} is clipped by the picture's edge")
    for i, (a, al, at, ar, ab) in enumerate(texts):
        for (b, bl, bt, br, bb) in texts[i + 1:]:
            if min(ar, br) - max(al, bl) > slack and min(ab, bb) - max(at, bt) > slack:
                problems.append(f"picture {n}: {a!r} overlaps {b!r}")
for p in problems[:20]: print("FAIL:", p, file=sys.stderr)
sys.exit(1 if problems else 0)
EOF

python3 - "$work/dom.html" "$work/page" "$hostile" "$expected" "${#pictures[@]}" <<'EOF'
import html.parser, os, sys, urllib.parse

dom_path, page_dir, hostile, expected_text, with_pictures = sys.argv[1:6]
expected = dict(line.split() for line in expected_text.splitlines())
problems = []

class Dom(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.open = []  # (tag, classes) of the elements around the parser's place
        self.cells, self.links, self.ids, self.images = {}, [], set(), []
        self.scripts = self.rows = self.headers = self.details = 0
        self.map_sectors, self.map_failed, self.map_legend = {}, set(), 0
        self.track = None
        self.h1 = ""
    def inside(self, tag, cls=None):
        return any(t == tag and (cls is None or cls in c) for t, c in self.open)
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.open.append((tag, (a.get("class") or "").split()))
        if "id" in a: self.ids.add(a["id"])
        if tag == "script": self.scripts += 1
        problems.extend(f"<{tag}> carries the handler {k}" for k in a if k.startswith("on"))
        if tag == "td" and "data-track" in a:
            self.cells[a["data-track"]] = (a.get("class", ""), a.get("title", ""))
        if a.get("href") or a.get("src"):
            self.links.append(a.get("href") or a.get("src"))
        if tag == "img": self.images.append(a.get("src"))
        if tag == "tr" and self.inside("table", "summary"): self.rows += 1
        if tag == "th" and self.inside("table", "summary"): self.headers += 1
        if tag == "details" and self.inside("section", "pictures") and not self.inside("section", "timing"):
            self.details += 1
        if tag == "g" and "data-track" in a and self.inside("svg", "disk-map"):
            self.track = a["data-track"]
            self.map_sectors.setdefault(self.track, 0)
        if tag == "a" and "sec" in (a.get("class") or "").split() and self.inside("svg", "disk-map"):
            self.map_sectors[self.track] += 1
        if tag == "rect" and a.get("class") == "failed" and self.inside("svg", "disk-map"):
            self.map_failed.add(self.track)
        if tag == "li" and self.inside("ul", "map-legend"): self.map_legend += 1
    def handle_endtag(self, tag):
        while self.open and self.open.pop()[0] != tag: pass
    def handle_data(self, data):
        if self.inside("h1"): self.h1 += data

dom = Dom()
dom.feed(open(dom_path, encoding="utf-8").read())

for track, status in expected.items():
    if track not in dom.cells:
        problems.append(f"no cell for track side {track}")
    elif dom.cells[track][0] != "st-" + status:
        problems.append(f"cell {track} is {dom.cells[track][0]!r}, not st-{status}")
    elif not dom.cells[track][1].startswith(f"Track {track[:2]} side {track[3]}"):
        problems.append(f"cell {track} has the title {dom.cells[track][1]!r}")
for track in dom.cells.keys() - expected.keys():
    problems.append(f"a cell for {track}, which has no file")
if dom.scripts:
    problems.append(f"{dom.scripts} script elements in the DOM")
if hostile not in dom.h1:
    problems.append(f"the heading {dom.h1[:200]!r} does not show the folder name as text")
# Header row plus one row per track side.
if dom.rows != len(expected) + 1 or dom.headers < 10:
    problems.append(f"the summary table has {dom.rows} rows and {dom.headers} header cells")

reports = set()
for link in dom.links:
    target = urllib.parse.urlsplit(link)
    if target.scheme or target.netloc or link.startswith("/"):
        problems.append(f"link {link!r} is not relative")
    elif link.startswith("#"):
        if link[1:] not in dom.ids: problems.append(f"link {link!r} has no target in the page")
    else:
        path = os.path.join(page_dir, urllib.parse.unquote(target.path))
        if not os.path.isfile(path): problems.append(f"link {link!r} points at {path}, which does not exist")
        if path.endswith(".txt"): reports.add(os.path.normpath(path))
# The summary and the map both lead to the reports.
if len(reports) != len(expected) - 1:
    problems.append(f"{len(reports)} reports linked, not one for each analysed track side")
# The synthetic tracks hold nine sectors each: one map shape per sector, and the failed
# file drawn as such.
for track, status in expected.items():
    want = 0 if status == "failed" else 9
    if dom.map_sectors.get(track) != want:
        problems.append(f"the map shows {dom.map_sectors.get(track)} sectors of {track}, not {want}")
    if (track in dom.map_failed) != (status == "failed"):
        problems.append(f"the map does not show {track} as {status}")
if dom.map_legend != 8:
    problems.append(f"the map's legend has {dom.map_legend} entries, not 8")
if with_pictures != "0":
    # The default choice: the layout and the sectors side by side of each track, as PNG.
    if dom.details != len(expected) - 1 or len(dom.images) != 2 * dom.details:
        problems.append(f"{dom.details} picture sections with {len(dom.images)} pictures")
    if sorted({src.rsplit("/", 1)[1] for src in dom.images}) != ["allsect.png", "layout.png"]:
        problems.append(f"pictures other than the layout and the sectors: {dom.images}")

for p in problems: print("FAIL:", p, file=sys.stderr)
sys.exit(1 if problems else 0)
EOF
echo "page checked in $("$browser" --version 2>/dev/null | head -1)"
