#!/usr/bin/env bash
# Checks that vantik installs and can be built against, as a user would:
#   1. `cmake --install` of the Release build into a staging prefix;
#   2. the example consumer built against it with CMake and with pkg-config,
#      and run;
#   3. the Debian package made with cpack, installed with apt-get, the tool
#      and the filter run from it and the installed PPD checked; the package
#      is removed again at the end.
# Run after `cmake --workflow --preset release`, as root (or with sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
work=$(mktemp -d)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -qq vantik >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== install into a staging prefix"
stage=$work/stage
cmake --install "$build" --prefix "$stage" >/dev/null
for f in lib/libvantik.so lib/libvantik.a include/vantik/vantik.hpp lib/pkgconfig/vantik.pc \
         lib/cmake/vantik/vantikConfig.cmake bin/vantik lib/cups/filter/rastertovantik \
         share/ppd/vantik/vantik.ppd share/cups/mime/vantik.types share/man/man1/vantik.1 \
         share/man/man8/rastertovantik.8 share/vantik/resources/color/0.bin; do
  [ -e "$stage/$f" ] || { echo "missing after install: $f"; exit 1; }
done

echo "== example consumer with CMake"
cmake -S examples/consumer -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$stage" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH=$stage/lib "$work/consumer/preview_c"
LD_LIBRARY_PATH=$stage/lib "$work/consumer/halftone_cpp" "$stage/share/vantik/resources"
"$work/consumer/halftone_cpp_static" "$stage/share/vantik/resources" >/dev/null

echo "== example consumer with pkg-config"
export PKG_CONFIG_PATH=$stage/lib/pkgconfig
cc -std=c11 examples/consumer/preview.c $(pkg-config --cflags --libs vantik) -o "$work/preview_pc"
c++ -std=c++20 examples/consumer/halftone.cc $(pkg-config --cflags --libs vantik) -o "$work/halftone_pc"
LD_LIBRARY_PATH=$stage/lib "$work/preview_pc" >/dev/null
LD_LIBRARY_PATH=$stage/lib "$work/halftone_pc" "$stage/share/vantik/resources" >/dev/null
unset PKG_CONFIG_PATH

echo "== Debian package"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vantik_*.deb | head -n 1)
dpkg-deb -f "$deb" Package Version Depends
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --reinstall "./$deb" >/dev/null
installed=1
/usr/bin/vantik --version
/usr/bin/vantik chart -o "$work/chart.png" --size 300x200
/usr/bin/vantik print "$work/chart.png" -o "$work/printed" -q --resolution 360x360 --page 2x2in
ls "$work/printed" | grep -q chart-black.pbm
cupstestppd -q /usr/share/ppd/vantik/vantik.ppd
# The installed filter on a raster that Ghostscript makes from the chart.
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups -r72 -dcupsColorSpace=1 -dcupsBitsPerColor=8 \
   -dDEVICEWIDTHPOINTS=144 -dDEVICEHEIGHTPOINTS=144 -sOutputFile="$work/page.ras" \
   -c "1 0 0 setrgbcolor 0 0 72 72 rectfill showpage" >/dev/null 2>&1
PPD=/usr/share/ppd/vantik/vantik.ppd /usr/lib/cups/filter/rastertovantik 1 user title 1 \
  "Resolution=360dpi" "$work/page.ras" > "$work/page.dots" 2> "$work/filter.log"
grep -q "PAGE: 1 1" "$work/filter.log" || { cat "$work/filter.log"; exit 1; }
gcc -std=c11 examples/consumer/preview.c $(pkg-config --cflags --libs vantik) -o "$work/preview_deb"
"$work/preview_deb" >/dev/null
echo "install check passed"
