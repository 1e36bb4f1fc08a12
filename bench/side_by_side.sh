#!/usr/bin/env bash
# Side-by-side timing of `vantik print` and Gutenprint's rastertogutenprint on
# the same letter page at 1440 x 720 dpi, given as a CUPS raster.
#
#   bench/side_by_side.sh [--vantik PATH] [--runs N] [--work DIR] [--input FILE]
#
# The page comes from --input (a PDF or PostScript file) or, without
# it, from a generated PostScript page of colour fields, a radial blend, text
# and fine lines; ghostscript renders it to an 8-bit RGB CUPS raster.  The
# Gutenprint model is picked at run time from the driver's own model list:
# the first colour model whose photo quality prints at 1440 x 720, whose inks
# are the four of a CMYK ink type (no photo ink sets) and that offers the
# EvenTone dither.  It is run with
# photo quality, EvenTone and the CMYK ink type.  The two programs alternate
# --runs times; the script prints every pair, the medians of wall and CPU
# time, their ratios and vantik's peak resident memory, and when the tool
# offers --threads also a run with --threads 1 and its stage times.  Without
# --input it also times the page made from a 3000 x 2000 JPEG of the same
# page against the raster page.
#
# Missing packages (ghostscript, printer-driver-gutenprint, time) are
# installed with apt-get.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
vantik="$here/build/release/tools/vantik"
runs=5
work=${TMPDIR:-/tmp}/vantik-side-by-side
input=""
while (($#)); do
  case "$1" in
    --vantik) vantik=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --input) input=$2; shift 2 ;;
    -h|--help) sed -n '2,21p' "$0"; exit 0 ;;
    *) echo "side_by_side.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -x "$vantik" ] || { echo "side_by_side.sh: no vantik tool at $vantik (build it first)" >&2; exit 1; }
mkdir -p "$work"

# ---- Packages -----------------------------------------------------------------
need=()
command -v gs >/dev/null || need+=(ghostscript)
[ -x /usr/bin/time ] || need+=(time)
driver=$(ls /usr/lib/cups/driver/gutenprint.* 2>/dev/null | head -1 || true)
filter=$(ls /usr/lib/cups/filter/rastertogutenprint.* 2>/dev/null | head -1 || true)
[ -n "$driver" ] && [ -n "$filter" ] || need+=(printer-driver-gutenprint)
if ((${#need[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  echo "installing ${need[*]}" >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >&2
  driver=$(ls /usr/lib/cups/driver/gutenprint.* | head -1)
  filter=$(ls /usr/lib/cups/filter/rastertogutenprint.* | head -1)
fi

# ---- The page -----------------------------------------------------------------
raster="$work/page.ras"
if [ -n "$input" ]; then
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups -r1440x720 -dcupsColorSpace=1 \
    -dcupsBitsPerColor=8 -dcupsColorOrder=0 -sPAPERSIZE=letter -dFIXEDMEDIA -dPDFFitPage \
    -dFirstPage=1 -dLastPage=1 -sOutputFile="$raster" "$input" >/dev/null 2>"$work/gs.log" ||
    { cat "$work/gs.log" >&2; exit 1; }
else
  cat >"$work/page.ps" <<'EOF'
%!PS
<< /PageSize [612 792] >> setpagedevice
0 1 23 { /j exch def
  0 1 17 { /i exch def
    i 17 div j 23 div 0.5 i j add 40 div sub abs sethsbcolor
    i 34 mul j 33 mul 34 33 rectfill
  } for
} for
<< /ShadingType 3 /ColorSpace /DeviceRGB /Coords [306 396 0 306 396 250]
   /Function << /FunctionType 2 /Domain [0 1] /C0 [1 0.9 0.2] /C1 [0.1 0.2 0.7] /N 1 >>
   /Extend [false false] >> shfill
/Helvetica-Bold findfont 48 scalefont setfont
0 0 0 setrgbcolor 72 700 moveto (Side by side) show
0.5 setlinewidth 0 10 600 { 0 exch moveto 612 0 rlineto stroke } for
showpage
EOF
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups -r1440x720 -dcupsColorSpace=1 \
    -dcupsBitsPerColor=8 -dcupsColorOrder=0 -sOutputFile="$raster" "$work/page.ps" \
    >/dev/null 2>"$work/gs.log" || { cat "$work/gs.log" >&2; exit 1; }
fi
echo "page: $(stat -c %s "$raster") bytes of CUPS raster at 1440 x 720 dpi"

# ---- The Gutenprint model -------------------------------------------------------
# Chosen by its properties, never by name; the choice is kept in the work
# directory since generating every model's PPD takes minutes.
ppd="$work/model.ppd"
if [ ! -s "$ppd" ]; then
  echo "choosing a model from the driver's list (this takes a while once)" >&2
  found=""
  while read -r uri; do
    text=$("$driver" cat "$uri" 2>/dev/null) || continue
    grep -q '^\*ColorDevice:[[:space:]]*True' <<<"$text" || continue
    grep -q '^\*StpQuality Photo/.*HWResolution\[1440 720\]' <<<"$text" || continue
    grep -q '^\*StpInkType CMYK/' <<<"$text" || continue
    grep -q '^\*StpDitherAlgorithm EvenTone/' <<<"$text" || continue
    # Four inks only: no five- or six-colour photo ink set.
    grep -q '^\*StpInkType Photo' <<<"$text" && continue
    printf '%s\n' "$text" >"$ppd"
    found=$uri
    break
  done < <("$driver" list | awk '{print $1}' | tr -d '"' | grep '/expert$')
  [ -n "$found" ] || { echo "side_by_side.sh: no model of the driver fits" >&2; rm -f "$ppd"; exit 1; }
fi
gopts="StpQuality=Photo StpDitherAlgorithm=EvenTone StpInkType=CMYK StpImageType=Photo ColorModel=RGB PageSize=Letter"

# ---- Runs ---------------------------------------------------------------------
# Prints "wall cpu maxrss_kb" of one command.
measure() {
  local log="$work/time.log"
  /usr/bin/time -f '%e %U %S %M' -o "$log" "$@" >/dev/null 2>"$work/stderr.log" || {
    echo "side_by_side.sh: failed: $*" >&2; tail -5 "$work/stderr.log" >&2; exit 1; }
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$log"
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

threadsFlag=""
"$vantik" print --help 2>/dev/null | grep -q -- '--threads' && threadsFlag=yes
vw=() vc=() vr=() gw=() gc=() ow=() oc=()
out="$work/vantik-out"
for ((i = 1; i <= runs; i++)); do
  rm -rf "$out"
  read -r w c r < <(measure "$vantik" print -q "$raster" -o "$out")
  vw+=("$w") vc+=("$c") vr+=("$r")
  read -r w c _ < <(measure env PPD="$ppd" "$filter" 1 bench page 1 "$gopts" "$raster")
  gw+=("$w") gc+=("$c")
  line="run $i: vantik ${vw[-1]} s wall ${vc[-1]} s cpu, gutenprint ${gw[-1]} s wall ${gc[-1]} s cpu"
  if [ -n "$threadsFlag" ]; then
    rm -rf "$out"
    read -r w c _ < <(measure "$vantik" print -q --threads 1 "$raster" -o "$out")
    ow+=("$w") oc+=("$c")
    line+=", vantik --threads 1 ${ow[-1]} s wall"
  fi
  echo "$line"
done

mvw=$(printf '%s\n' "${vw[@]}" | median) mvc=$(printf '%s\n' "${vc[@]}" | median)
mgw=$(printf '%s\n' "${gw[@]}" | median) mgc=$(printf '%s\n' "${gc[@]}" | median)
peak=$(printf '%s\n' "${vr[@]}" | sort -g | tail -1)
echo "median wall: vantik $mvw s, gutenprint $mgw s -> vantik $(awk -v a="$mgw" -v b="$mvw" 'BEGIN{printf "%.2f", a/b}')x faster"
echo "median cpu:  vantik $mvc s, gutenprint $mgc s -> ratio $(awk -v a="$mgc" -v b="$mvc" 'BEGIN{printf "%.2f", a/b}')"
if [ -n "$threadsFlag" ]; then
  mow=$(printf '%s\n' "${ow[@]}" | median)
  echo "median wall with --threads 1: $mow s -> $(awk -v a="$mgw" -v b="$mow" 'BEGIN{printf "%.2f", a/b}')x faster than gutenprint"
fi
echo "vantik peak resident memory: $(awk -v k="$peak" 'BEGIN{printf "%.0f", k/1024}') MB"
if "$vantik" --help 2>/dev/null | grep -q -- '--verbose'; then
  rm -rf "$out"
  echo "stage times of one more vantik run:"
  "$vantik" --verbose print -q "$raster" -o "$out" 2>&1 | grep -i -E 'stage|source|halftone|sink|write' || true
fi

# ---- The same page from a photograph ---------------------------------------------
# A 3000 x 2000 JPEG of the same page, scaled to the page inside the pipeline.
photo="$work/page.jpg"
if [ -z "$input" ]; then
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=jpeg -g3000x2000 -r272 -dJPEGQ=90 \
    -sOutputFile="$photo" "$work/page.ps" >/dev/null 2>"$work/gs.log" || { cat "$work/gs.log" >&2; exit 1; }
  jw=() rw=()
  for ((i = 1; i <= runs; i++)); do
    rm -rf "$out"
    read -r w _ _ < <(measure "$vantik" print -q --resolution 1440x720 "$photo" -o "$out")
    jw+=("$w")
    rm -rf "$out"
    read -r w _ _ < <(measure "$vantik" print -q "$raster" -o "$out")
    rw+=("$w")
  done
  mjw=$(printf '%s\n' "${jw[@]}" | median) mrw=$(printf '%s\n' "${rw[@]}" | median)
  echo "3000 x 2000 JPEG page: median $mjw s, raster page $mrw s -> $(awk -v a="$mjw" -v b="$mrw" 'BEGIN{printf "%.2f", a/b}')x the raster page's time"
fi
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
