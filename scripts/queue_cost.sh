#!/usr/bin/env bash
# What a page costs through a print queue against through the tool, on the
# Release build: a PDF of N letter pages (default 4) at 720 x 720 dpi,
#   queue   lp to a cupsd of this script's own (loopback port, temporary
#           folders, file device) until the job is completed: pdftopdf,
#           gstoraster and rastertovantik, with the spooling around them;
#   chain   the same filters through cupsfilter, no server;
#   raster  gstoraster alone (the PDF to 8-bit RGB raster);
#   filter  rastertovantik alone on that raster;
#   tool    vantik print on that raster (planes as PBM and TIFF G4, and the
#           simulated print).
# Prints seconds per page, CPU (user + system, of every process involved)
# and wall clock; on a busy machine only the CPU figures compare.  Checks
# that the queue, the chain and the filter wrote the same dots.  Run as root
# after building.
set -euo pipefail
cd "$(dirname "$0")/.."
pages=${1:-4}
build=$PWD/build/release
ppd=$build/ppd/out/vantik.ppd
work=$(mktemp -d /tmp/vantik-cost-XXXXXX)
chmod 755 "$work"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# Runs a command; appends "wall cpu" (seconds) to $work/times.
timed() { /usr/bin/time -f "%e %U %S" -a -o "$work/times.raw" "$@"; }
per_page() { echo "scale=2; $1 / $pages" | bc; }
# CPU seconds of a process's reaped children (cupsd's filters).
child_cpu() {
  local ticks
  ticks=$(awk '{print $16 + $17}' "/proc/$1/stat")
  echo "scale=2; $ticks / $(getconf CLK_TCK)" | bc
}

# The document: full pages of colour gradients and text.
{
  echo "%!PS"
  echo "<< /PageSize [612 792] >> setpagedevice /Helvetica findfont 30 scalefont setfont"
  for ((i = 0; i < pages; i++)); do
    echo "0 1 99 { dup 0.01 mul 0.3 $((i % 2)) setrgbcolor 7.92 mul 0 exch 612 7.92 rectfill } for"
    echo "0 setgray 72 700 moveto (Page $((i + 1))) show showpage"
  done
} > "$work/doc.ps"
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$work/doc.pdf" "$work/doc.ps"

# A server folder: the system's filters with this build's.
mkdir -p "$work/sb/filter" "$work/spool/tmp" "$work/cache" "$work/state" "$work/log" "$work/out"
chmod 1777 "$work/spool/tmp"
chmod 777 "$work/out"
for f in /usr/lib/cups/filter/*; do
  [ "$(basename "$f")" = rastertovantik ] || ln -s "$f" "$work/sb/filter/"
done
for d in backend notifier daemon monitor cgi-bin; do
  [ -e "/usr/lib/cups/$d" ] && ln -s "/usr/lib/cups/$d" "$work/sb/$d"
done
install -m 755 "$build/tools/rastertovantik" "$work/sb/filter/"
cp ppd/vantik.types "$work/"
printf 'ServerBin %s\nDataDir /usr/share/cups\n' "$work/sb" > "$work/cupsfilter.conf"

timed cupsfilter -e -c "$work/cupsfilter.conf" -p "$ppd" -m application/vnd.cups-raster \
  "$work/doc.pdf" > "$work/in.ras" 2>/dev/null
PPD=$ppd timed "$build/tools/rastertovantik" 1 u t 1 "" "$work/in.ras" > "$work/filter.dots" \
  2>/dev/null
timed "$build/tools/vantik" -q print "$work/in.ras" -o "$work/tool"
timed cupsfilter -e -c "$work/cupsfilter.conf" -p "$ppd" -m printer/vantik "$work/doc.pdf" \
  > "$work/chain.dots" 2>/dev/null
mapfile -t times < <(awk '{printf "%.2f %.2f\n", $1, $2 + $3}' "$work/times.raw")

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/cupsd.conf" <<CONF
Listen 127.0.0.1:$port
LogLevel warn
Browsing Off
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat > "$work/cups-files.conf" <<CONF
ServerRoot $work
ServerBin $work/sb
DataDir /usr/share/cups
RequestRoot $work/spool
TempDir $work/spool/tmp
CacheDir $work/cache
StateDir $work/state
AccessLog $work/log/access_log
ErrorLog $work/log/error_log
PageLog $work/log/page_log
Printcap $work/printcap
FileDevice Yes
CONF
cupsd -f -c "$work/cupsd.conf" -s "$work/cups-files.conf" &
pid=$!
export CUPS_SERVER=127.0.0.1:$port
for _ in $(seq 100); do lpstat -r >/dev/null 2>&1 && break; sleep 0.1; done
lpadmin -p cost -E -v "file://$work/out/cost.dots" -P "$ppd" 2>/dev/null
cpu0=$(child_cpu "$pid")
t0=$(date +%s.%N)
job=$(lp -d cost "$work/doc.pdf" | sed -n 's/.*cost-\([0-9]*\).*/\1/p')
while ! lpstat -W completed -o cost | grep -q "cost-$job "; do sleep 0.1; done
queue_wall=$(echo "$(date +%s.%N) - $t0" | bc)
queue_cpu=$(echo "$(child_cpu "$pid") - $cpu0" | bc)

same() { cmp -s "$work/filter.dots" "$1" && echo "same dots" || echo "DIFFERENT dots"; }
row() {
  read -r wall cpu <<< "$2"
  printf "  %-36s %6s %6s   %s\n" "$1" "$(per_page "$cpu")" "$(per_page "$wall")" "${3:-}"
}
echo "$pages letter pages at 720 x 720 dpi, error diffusion; seconds per page"
printf "  %-36s %6s %6s\n" "" "cpu" "wall"
row "queue  (lp to completed)" "$queue_wall $queue_cpu" "$(same "$work/out/cost.dots")"
row "chain  (cupsfilter, no server)" "${times[3]}" "$(same "$work/chain.dots")"
row "raster (gstoraster alone)" "${times[0]}"
row "filter (rastertovantik alone)" "${times[1]}"
row "tool   (vantik print, files)" "${times[2]}"
