#!/usr/bin/env bash
# Draws the plot data files of one analyser run (quenanalyze -t) as PNG and SVG
# pictures with ploticus, each picture next to its data file:
#   layout.dat -> layout.png/.svg       trans.dat -> trans.png/.svg
#   allsect.dat -> allsect.png/.svg     sec_layout_N.dat, sec_data_N.dat,
#   sec_trans_N.dat -> sec_layout_N.png/.svg, sec_data_N.png/.svg, sec_trans_N.png/.svg
# A missing file is skipped with a note; a file with header lines only gets a
# stand-in picture that says so.
set -euo pipefail

prog=$(basename "$0")

usage() {
    cat <<EOF
usage: $prog [-t text] [-p names] [dir]
       Draws the plot files that quenanalyze -t wrote into dir (default: the
       current directory) as PNG and SVG pictures in the same directory.
       -t text  put text (for example the stream file's name) into every title
       -p names draw only these pictures, a comma-separated choice of layout,
                trans, allsect, sec_layout, sec_data, sec_trans (default: all)
Exit status: 0 all pictures drawn; 1 a picture failed or no plot file was
found; 2 bad arguments, an unusable directory or no ploticus.
EOF
}

caption=""
chosen="layout,trans,allsect,sec_layout,sec_data,sec_trans"
while getopts ":t:p:h" opt; do
    case $opt in
        t) caption=$OPTARG ;;
        p)
            chosen=$OPTARG
            for name in ${chosen//,/ }; do
                case $name in
                    layout | trans | allsect | sec_layout | sec_data | sec_trans) ;;
                    *) echo "$prog: -p: unknown picture '$name'" >&2; exit 2 ;;
                esac
            done
            ;;
        h) usage; exit 0 ;;
        *) usage >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
if [[ $# -gt 1 ]]; then
    usage >&2
    exit 2
fi
dir=${1:-.}

if [[ ! -d $dir || ! -w $dir ]]; then
    echo "$prog: '$dir' is not a writable directory" >&2
    exit 2
fi
if ! command -v ploticus >/dev/null 2>&1; then
    echo "$prog: ploticus is not installed (Debian package: ploticus)" >&2
    exit 2
fi

# The scripts lie next to this file in the source tree and in the installed
# share directory; an installed copy in bin finds them under ../share.
self=$(readlink -f "${BASH_SOURCE[0]}")
here=$(dirname "$self")
plodir=""
for candidate in "$here" "$here/../share/quenanalyze/plots"; do
    if [[ -f $candidate/layout.plo ]]; then
        plodir=$(cd "$candidate" && pwd)
        break
    fi
done
if [[ -z $plodir ]]; then
    echo "$prog: the ploticus scripts (layout.plo, ...) were not found near $self" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
drawn=0

title() {
    if [[ -n $caption ]]; then
        printf '%s - %s' "$1" "$caption"
    else
        printf '%s' "$1"
    fi
}

has_data_lines() {
    grep -q -v -e '^//' -e '^[[:space:]]*$' "$1"
}

# draw NAME SCRIPT DATAFILE [VAR=value ...]: NAME.png and NAME.svg in $dir.
# ploticus reports most faults on stderr with exit status 0, so its messages are
# passed on and an empty or missing picture counts as a failure.
draw() {
    local name=$1 script=$2 data=$3
    shift 3
    local fmt out status ok=1 map
    for fmt in png svg; do
        out="$dir/$name.$fmt"
        rm -f "$out"
        status=0
        # The SVG of an area picture keeps the areas' texts as mouse-over labels.
        map=()
        if [[ $fmt == svg && ( $script == layout.plo || $script == sec_layout.plo ) ]]; then
            map=(-csmap)
        fi
        ploticus "-$fmt" ${map[@]+"${map[@]}"} -maxrows 1000000 -maxfields 10000000 -maxvector 1000000 \
            -o "$out" "$plodir/$script" "DATA=$data" "$@" 2>"$work/messages" || status=$?
        if [[ -s $work/messages ]]; then
            sed "s|^|$prog: $name.$fmt: |" "$work/messages" >&2
        fi
        if [[ $status -ne 0 || ! -s $out ]]; then
            echo "$prog: $name.$fmt was not drawn" >&2
            failures=$((failures + 1))
            ok=0
        else
            drawn=$((drawn + 1))
        fi
    done
    if [[ $ok -eq 1 ]]; then
        echo "$name.png $name.svg"
    fi
}

# draw_file NAME TITLE NOTE SCRIPT [VAR=value ...]: draws $dir/NAME.dat, or its
# stand-in when it holds no data lines, or notes that it is missing.
draw_file() {
    local name=$1 heading=$2 why=$3 script=$4
    shift 4
    local file="$dir/$name.dat"
    local kind=${name%_[0-9]*}
    if [[ ,$chosen, != *,$kind,* ]]; then
        return 0
    fi
    if [[ ! -f $file ]]; then
        echo "$prog: note: $name.dat not found, skipped" >&2
        return 0
    fi
    if ! has_data_lines "$file"; then
        draw "$name" nodata.plo /dev/null "TITLE=$(title "$heading")" \
            "NOTE=$name.dat holds no data lines: $why"
        return 0
    fi
    case $script in
        sec_data.plo) bytes_with_decimal_value "$file" >"$work/$name.dat" ;;
        allsect.plo) sector_rows "$file" >"$work/$name.dat" ;;
        sec_layout.plo)
            cp "$file" "$work/$name.dat"
            area_labels "$file" >"$work/$name.labels"
            set -- "$@" "LABELS=$work/$name.labels"
            ;;
        *) cp "$file" "$work/$name.dat" ;;
    esac
    draw "$name" "$script" "$work/$name.dat" "TITLE=$(title "$heading")" "$@"
}

# ploticus reads no hexadecimal: the byte file's data byte goes in again as a
# decimal third field, comments dropped.
bytes_with_decimal_value() {
    awk '
        function hex(s,    i, v) {
            v = 0
            for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789ABCDEF", substr(s, i, 1)) - 1
            return v
        }
        /^\/\// || NF == 0 { next }
        { print $1, $2, hex(toupper($3)), $3, $4, $5, $6, $7, $8 }
    ' "$1"
}

# Computed columns are made here, not in a getdata filter: ploticus draws a filter's
# ##set / ##print results differently from one render of the same data to the next.

# The sectors file's rows with each sector's area ends counted from its ID field:
#   "Sect N at id_start us" 0 id_end gap3_end data_end gap4_end colour
sector_rows() {
    awk '
        /^\/\// || NF == 0 { next }
        {
            label = $1
            rest = $0
            if (match($0, /^"[^"]*"/)) {
                label = substr($0, 2, RLENGTH - 2)
                rest = substr($0, RLENGTH + 1)
            } else {
                rest = substr($0, index($0, $1) + length($1))
            }
            split(rest, f, " ")
            gap3_end = f[2] + f[3]
            data_end = gap3_end + f[4]
            gap4_end = data_end + f[5]
            printf "\"%s at %s us\" 0 %d %d %d %d %s\n", label, f[1], f[2], gap3_end, data_end, gap4_end, f[6]
        }
    ' "$1"
}

# The names written above a sector's areas, at the middle of each:
#   middle_us height label   (DATA and gaps low, "ID N" a little higher)
area_labels() {
    awk '
        /^\/\// || NF == 0 { next }
        {
            middle = ($1 + $2) / 2
            if ($3 ~ /^"?DATA/) printf "%.1f 1.35 DATA\n", middle
            else if ($3 ~ /^GAP/) printf "%.1f 1.35 %s\n", middle, $3
            else printf "%.1f 1.55 \"ID %s\"\n", middle, $3
        }
    ' "$1"
}

found_any=0
for f in "$dir"/layout.dat "$dir"/trans.dat "$dir"/allsect.dat "$dir"/sec_*_*.dat; do
    if [[ -f $f ]]; then
        found_any=1
        break
    fi
done
if [[ $found_any -eq 0 ]]; then
    echo "$prog: no plot files in '$dir' (write them with quenanalyze -t)" >&2
    exit 1
fi

draw_file layout "Track layout" "no area was measured on the track" layout.plo
draw_file trans "Flux transitions of the track" "the revolution holds no flux transition" \
    trans.plo "XRANGE=0 200000"
rows=0
if [[ -f $dir/allsect.dat ]]; then
    rows=$(grep -c -v -e '^//' -e '^[[:space:]]*$' "$dir/allsect.dat" || true)
fi
draw_file allsect "Sectors aligned at their ID field" "no ID field was found on the track" \
    allsect.plo "NROWS=$rows"

# Sector numbers from the names of the sector files present, in numeric order.
sectors=$(
    for f in "$dir"/sec_layout_*.dat "$dir"/sec_data_*.dat "$dir"/sec_trans_*.dat; do
        [[ -f $f ]] || continue
        n=${f##*_}
        n=${n%.dat}
        if [[ $n =~ ^[0-9]+$ ]]; then
            echo "$n"
        fi
    done | sort -n -u
)
for n in $sectors; do
    draw_file "sec_layout_$n" "Sector $n areas" \
        "the sector has no data field, or its ID field was not found in the revolution" sec_layout.plo
    draw_file "sec_data_$n" "Sector $n bytes" \
        "the sector's ID field was not found in the revolution" sec_data.plo
    draw_file "sec_trans_$n" "Sector $n flux transitions" \
        "the sector's ID field was not found in the revolution" trans.plo
done

if [[ $failures -ne 0 ]]; then
    echo "$prog: $failures of $((drawn + failures)) pictures failed" >&2
    exit 1
fi
