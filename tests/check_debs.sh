#!/usr/bin/env bash
# Builds the Debian packages of a release build and checks them: their
# contents and dependencies as dpkg-deb reads them, then an install into a
# scratch root (unpacked and registered there, nothing run as root on this
# system) whose rpd-host decodes the samples with the packaged plug-in.
#   check_debs.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
fail() { echo "check_debs: $*" >&2; exit 1; }
# Matches read their input whole (grep >/dev/null, never grep -q): grep -q
# stops at the first match, and under pipefail the writer's SIGPIPE would
# then fail a check that held.
out=$build/packages
rm -rf "$out"
mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail "cpack failed"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
lib=$out/libtam-rpd0_${version}_$arch.deb dev=$out/libtam-rpd-dev_${version}_$arch.deb tool=$out/rpd-host_${version}_$arch.deb
for d in "$lib" "$dev" "$tool"; do [[ -f $d ]] || fail "no $(basename "$d")"; done

has() { dpkg-deb --contents "$1" | awk '{print $6}' | grep -E "^\./$2\$" >/dev/null || fail "$(basename "$1") lacks $2"; }
multiarch=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
has "$lib" "$multiarch/libtam_rpd\.so\.0"
has "$lib" "$multiarch/libtam_rpd\.so\.$version"
has "$dev" "$multiarch/libtam_rpd\.so"
has "$dev" "usr/include/tam_rpd(_host|_version)?\.h"
has "$dev" "$multiarch/pkgconfig/tam_rpd\.pc"
has "$dev" "$multiarch/cmake/tam_rpd/tam_rpdConfig\.cmake"
has "$dev" "usr/share/doc/libtam-rpd-dev/examples/host\.c"
has "$tool" "usr/bin/rpd-host"
has "$tool" "usr/share/man/man1/rpd-host\.1"
if dpkg-deb --contents "$lib" | awk '{print $6}' | grep -E 'include|bin/' >/dev/null; then fail "the library package carries more than the library"; fi
dpkg-deb --field "$dev" Depends | grep "libtam-rpd0 (= $version)" >/dev/null || fail "dev does not depend on the library"
dpkg-deb --field "$tool" Depends | grep "libtam-rpd0 (= $version)" >/dev/null || fail "rpd-host does not depend on the library"
dpkg-deb --field "$tool" Depends | grep 'libpcap' >/dev/null || fail "rpd-host does not depend on libpcap"

for d in "$lib" "$dev" "$tool"; do has "$d" "usr/share/doc/[^/]*/copyright"; done
copyright_of() { dpkg-deb --fsys-tarfile "$1" | tar -xO "./usr/share/doc/$2/copyright"; }
copyright_of "$tool" rpd-host | grep '^License: MIT' >/dev/null ||
  fail "rpd-host's copyright file does not name the MIT licence"
# The Wireshark plug-in's package, when Wireshark's headers were there for the build.
ws=$out/wireshark-rpd_${version}_$arch.deb
if [[ -f $ws ]]; then
  has "$ws" "$multiarch/wireshark/plugins/[0-9.]+/epan/rpd\.so"
  has "$ws" "usr/share/doc/wireshark-rpd/copyright"
  dpkg-deb --field "$ws" Depends | grep "libtam-rpd0 (= $version)" >/dev/null || fail "wireshark-rpd does not depend on the library"
  dpkg-deb --field "$ws" Depends | grep -E 'libwireshark[0-9]+ \(>= [0-9.]+' >/dev/null || fail "wireshark-rpd does not depend on libwireshark"
  copyright_of "$ws" wireshark-rpd | grep '^License: GPL-2+' >/dev/null ||
    fail "wireshark-rpd's copyright file does not name the GPL"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --force-not-root --log=/dev/null --unpack "$lib" "$dev" "$tool" \
  $([[ -f $ws ]] && echo "$ws") >/dev/null
dpkg --root="$root" -L rpd-host | grep -x /usr/bin/rpd-host >/dev/null || fail "rpd-host not registered in the scratch root"
for s in full-set multi-nlri noadv withdraw; do
  "$root/usr/bin/rpd-host" --no-summary "$src/samples/$s.mrt" >/dev/null || fail "packaged rpd-host on $s.mrt"
done
if [[ -f $ws ]]; then
  # tshark with the installed plug-in as its personal one: it finds the library of its own install.
  home=$root/home
  epan=$(dirname "$(find "$root/$multiarch/wireshark" -name rpd.so)")  # .../plugins/4.0/epan
  mkdir -p "$home/.local/lib/wireshark/plugins/$(basename "$(dirname "$epan")")"
  ln -s "$epan" "$home/.local/lib/wireshark/plugins/$(basename "$(dirname "$epan")")/epan"
  chmod -R a+rX "$root"
  drop=(); [[ $(id -u) -eq 0 ]] && drop=(setpriv --reuid=65534 --regid=65534 --clear-groups)  # no personal plug-ins as root
  got=$(HOME=$home "${drop[@]}" tshark -r "$src/samples/full-set.pcap" -Y rpd -T fields -e rpd.distinguisher 2>&1)
  [[ $got == 7 ]] || fail "tshark with the packaged plug-in: '$got', not the distinguisher 7"
fi
echo "check_debs: $(cd "$out" && ls ./*.deb | xargs -n1 basename | tr '\n' ' ')built, checked and installed into a scratch root"
