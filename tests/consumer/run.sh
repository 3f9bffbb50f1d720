#!/usr/bin/env bash
# What a host integrator does with an install: install into a scratch prefix,
# check its layout, build the installed example host once with pkg-config
# and once with find_package(tam_rpd), run both on a sample UPDATE, and let
# the installed rpd-host (no --plugin) decode the samples.
#   run.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "consumer: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name tam_rpd.pc | head -1)
[[ -n $pc ]] || fail "install lacks tam_rpd.pc"
libdir=$(dirname "$(dirname "${pc#"$prefix"/}")")
for f in bin/rpd-host include/tam_rpd.h include/tam_rpd_host.h include/tam_rpd_version.h \
  share/man/man1/rpd-host.1 "$libdir/libtam_rpd.so" "$libdir/libtam_rpd.so.0" "$libdir/pkgconfig/tam_rpd.pc" \
  "$libdir/cmake/tam_rpd/tam_rpdConfig.cmake" "$libdir/cmake/tam_rpd/tam_rpdConfigVersion.cmake" \
  share/doc/libtam-rpd-dev/abi.md share/doc/libtam-rpd-dev/examples/host.c; do
  [[ -e $prefix/$f ]] || fail "install lacks $f"
done
[[ $(readlink "$prefix/$libdir/libtam_rpd.so") == libtam_rpd.so.0 ]] || fail "dev symlink does not name the SONAME"
readelf -d "$prefix/$libdir/libtam_rpd.so.0" | grep 'SONAME.*\[libtam_rpd.so.0\]' >/dev/null || fail "no SONAME libtam_rpd.so.0"
if readelf -d "$prefix/bin/rpd-host" | grep -E 'RUNPATH|RPATH' >/dev/null; then fail "installed rpd-host has a RUNPATH"; fi

# The installed tool finds the installed plug-in by itself.
for s in full-set multi-nlri noadv withdraw; do
  for ext in hex mrt pcap; do
    "$prefix/bin/rpd-host" --no-summary "$src/samples/$s.$ext" >/dev/null || fail "installed rpd-host on $s.$ext"
  done
done
"$prefix/bin/rpd-host" encode --format raw --output "$work/update.raw" "$src/samples/full-set.json"

# With pkg-config.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
plugin=$(pkg-config --variable=plugin tam_rpd)
[[ -f $plugin ]] || fail "pkg-config names a plug-in that is not there: $plugin"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror $(pkg-config --cflags tam_rpd) -rdynamic -o "$work/host-pc" \
  "$prefix/share/doc/libtam-rpd-dev/examples/host.c" -ldl
"$work/host-pc" "$plugin" "$work/update.raw" >"$work/pc.out" || { cat "$work/pc.out"; fail "pkg-config host"; }

# With find_package.
cmake -S "$prefix/share/doc/libtam-rpd-dev/examples" -B "$work/cm" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cm" >/dev/null
"$work/cm/rpd_consumer" "$work/update.raw" >"$work/cm.out" || { cat "$work/cm.out"; fail "find_package host"; }

grep -q '^route 1$' "$work/pc.out" || fail "no route decoded"
grep -q 'key: RPD NLRI: Route Type: Export Policy' "$work/pc.out" || fail "no key text"
grep -q 'policy: Wide-community Container 1:' "$work/pc.out" || fail "no policy text"
diff <(tail -n +2 "$work/pc.out") <(tail -n +2 "$work/cm.out") || fail "the two builds differ"
echo "consumer: install, pkg-config host, find_package host and installed rpd-host pass"
