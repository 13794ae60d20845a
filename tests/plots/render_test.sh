#!/usr/bin/env bash
# Draws plot files with plots/render.sh and checks that every picture comes out.
#   render_test.sh fixture SOURCE_DIR               the hand-made files in tests/plots/fixture
#   render_test.sh sample SOURCE_DIR QUENANALYZE    the files of quenanalyze -t on samples/dd9.raw
# Exit status 77 (skipped) when ploticus is not installed.
set -euo pipefail

mode=${1:?mode: fixture or sample}
src=${2:?source directory}
render="$src/plots/render.sh"

if ! command -v ploticus >/dev/null 2>&1; then
    echo "SKIP: ploticus is not installed (Debian package ploticus); the pictures cannot be drawn"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A picture is good when it is a non-empty PNG or SVG file of its kind.
check_picture() {
    local file=$1
    [[ -s $file ]] || fail "$file is missing or empty"
    case $file in
        *.png) [[ $(head -c 4 "$file" | tail -c 3) == PNG ]] || fail "$file is not a PNG file" ;;
        *.svg) grep -q '<svg' "$file" || fail "$file is not an SVG file" ;;
    esac
}

# check_sectors_picture SVG N...: one "Sect N at ... us" row label for each sector N and
# no other, a DATA bar per row, and a time axis from 0 to 30000 us (the sample's
# longest row, ID field to end of GAP4, is about 27400 us).
check_sectors_picture() {
    local svg=$1 n stubs bars
    shift
    [[ $(grep -c '>Sect [0-9]* at [0-9]* us<' "$svg") -eq $# ]] || fail "$svg does not hold $# sector rows"
    for n in "$@"; do
        [[ $(grep -c ">Sect $n at [0-9]* us<" "$svg") -eq 1 ]] || fail "$svg has no single row for sector $n"
    done
    stubs=$(grep -o '>[0-9]*</text>' "$svg" | tr -d '<>/text' | sort -n | sed -n '1p;$p' | tr '\n' ' ')
    [[ $stubs == "0 30000 " ]] || fail "$svg: time axis runs over $stubs, not 0 to 30000"
    # The DATA colours fill one bar per row and one legend sample each.
    bars=$(grep -c -e 'fill="#0066cc"' -e 'fill="#ff0000"' -e 'fill="#ff9e23"' "$svg")
    [[ $bars -eq $(($# + 3)) ]] || fail "$svg: $bars DATA bars and samples, not $(($# + 3))"
}

# render_ok DIR: render.sh succeeds without any message from ploticus, and each
# plot file in DIR has both its pictures.
render_ok() {
    local dir=$1 status=0 name count=0
    "$render" "$dir" >"$work/out" 2>"$work/err" || status=$?
    if [[ $status -ne 0 ]] || grep -q -e error -e 'not drawn' "$work/err"; then
        cat "$work/err" >&2
        fail "render.sh $dir ended with status $status"
    fi
    for dat in "$dir"/*.dat; do
        name=${dat%.dat}
        check_picture "$name.png"
        check_picture "$name.svg"
        count=$((count + 1))
    done
    [[ $count -gt 0 ]] || fail "no plot file in $dir"
    echo "$count plot files of $dir drawn"
}

case $mode in
fixture)
    run="$work/fixture"
    cp -r "$src/tests/plots/fixture" "$run"
    render_ok "$run"
    # The header-only files of sector 3 get their stand-in pictures, not failures.
    grep -q 'holds no data lines' "$run/sec_layout_3.svg" || fail "sec_layout_3.svg is not the stand-in picture"

    # A missing file is noted and skipped, a file named like no sector's is left
    # alone; the others are still drawn.
    partial="$work/partial"
    mkdir "$partial"
    cp "$src/tests/plots/fixture/layout.dat" "$src/tests/plots/fixture/sec_data_2.dat" "$partial/"
    cp "$src/tests/plots/fixture/sec_trans_1.dat" "$partial/sec_trans_old.dat"
    "$render" "$partial" >/dev/null 2>"$work/err" || fail "render.sh failed on a run without trans.dat"
    grep -q 'trans.dat not found' "$work/err" || fail "no note about the missing trans.dat"
    grep -q 'sec_layout_2.dat not found' "$work/err" || fail "no note about the missing sec_layout_2.dat"
    [[ ! -e $partial/trans.png ]] || fail "a picture was made for the missing trans.dat"
    check_picture "$partial/layout.png"
    check_picture "$partial/sec_data_2.png"

    # -p draws only the pictures named; an unknown name is refused.
    chosen="$work/chosen"
    cp -r "$src/tests/plots/fixture" "$chosen"
    "$render" -p layout,sec_data "$chosen" >/dev/null 2>"$work/err" || fail "render.sh -p layout,sec_data failed"
    drawn=$(cd "$chosen" && ls ./*.png | sed 's|^\./||; s/_[0-9]*\.png$//; s/\.png$//' | sort -u | tr '\n' ' ')
    [[ $drawn == "layout sec_data " ]] || fail "render.sh -p layout,sec_data drew: $drawn"
    status=0
    "$render" -p layout,frob "$chosen" >/dev/null 2>&1 || status=$?
    [[ $status -eq 2 ]] || fail "render.sh -p with an unknown picture ended with $status, not 2"

    # A directory without plot files, and one that does not exist, are errors.
    mkdir "$work/empty"
    status=0
    "$render" "$work/empty" >/dev/null 2>&1 || status=$?
    [[ $status -eq 1 ]] || fail "render.sh on an empty directory ended with $status, not 1"
    status=0
    "$render" "$work/nonexistent" >/dev/null 2>&1 || status=$?
    [[ $status -eq 2 ]] || fail "render.sh on a missing directory ended with $status, not 2"

    # Installed as bin/quenanalyze-render, it finds its scripts in share/quenanalyze/plots.
    prefix="$work/prefix"
    mkdir -p "$prefix/bin" "$prefix/share/quenanalyze/plots"
    cp "$render" "$prefix/bin/quenanalyze-render"
    cp "$src"/plots/*.plo "$prefix/share/quenanalyze/plots/"
    installed="$work/installed"
    mkdir "$installed"
    cp "$src/tests/plots/fixture/layout.dat" "$installed/"
    render="$prefix/bin/quenanalyze-render"
    render_ok "$installed"
    ;;
sample)
    quen=${3:?path of quenanalyze}
    run="$work/sample"
    mkdir "$run"
    status=0
    (cd "$run" && "$quen" -t "$src/samples/dd9.raw" >report.txt 2>errors.txt </dev/null) || status=$?
    [[ $status -eq 1 ]] || fail "quenanalyze -t on the sample ended with $status, not 1"
    for name in layout trans allsect; do
        [[ -f $run/$name.dat ]] || fail "quenanalyze -t wrote no $name.dat"
    done
    # The sample track holds 9 sectors, each with its three files.
    sectors=$(sed -n 's/^"Sect \([0-9]*\)".*/\1/p' "$run/allsect.dat")
    [[ $(echo "$sectors" | grep -c .) -eq 9 ]] || fail "allsect.dat does not list 9 sectors: $sectors"
    for n in $sectors; do
        for kind in sec_layout sec_data sec_trans; do
            [[ -f $run/${kind}_$n.dat ]] || fail "quenanalyze -t wrote no ${kind}_$n.dat"
        done
    done
    render_ok "$run"
    check_sectors_picture "$run/allsect.svg" $sectors

    # Every render of the same data gives the same pictures: all of them a few times,
    # the sectors and area pictures (computed columns) many times.
    mkdir "$work/first"
    cp "$run"/*.svg "$work/first/"
    same_again() {
        local dir=$1 round=$2 svg
        "$render" "$dir" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; fail "render $round of $dir failed"; }
        for svg in "$dir"/*.svg; do
            cmp -s "$svg" "$work/first/$(basename "$svg")" || fail "$(basename "$svg") differs in render $round"
        done
    }
    for round in 2 3; do
        same_again "$run" "$round"
    done
    few="$work/few"
    mkdir "$few"
    cp "$run/allsect.dat" "$run/sec_layout_1.dat" "$run/sec_layout_9.dat" "$few/"
    for round in $(seq 1 20); do
        same_again "$few" "$round"
    done
    echo "the sample's pictures are the same in every render"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
