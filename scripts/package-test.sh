#!/usr/bin/env bash
# Builds the Debian packages from an optimised build folder and checks them as a Debian maintainer and
# a user of the packages would: lintian without errors or warnings, the split (the command-line tools
# and the simulator install without Qt), the shlibs, symbols and ldconfig trigger of libkelvra1, split-off
# debug symbols, manual pages, the desktop entry, the dissector in Wireshark's global Lua plugin folder;
# then, unpacked into a scratch root, a C program built outside the tree against the library with
# pkg-config (dpkg-shlibdeps must name libkelvra1 for it) and with find_package(Kelvra), and that
# program and the packaged kelvra command line discovering cards of the packaged ledcard-sim (as root,
# inside a private network namespace: nothing leaves the machine).
# usage: scripts/package-test.sh BUILD_FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "$1" && pwd)
source_dir=$(pwd)
scratch=$(mktemp -d /tmp/vantor-packages-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

echo "-- packages"
(cd "$build" && cpack -G DEB -B "$scratch/debs" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack failed"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
packages=(libkelvra1 libkelvra-dev kelvra-tools vantor kelvra-wireshark python3-kelvra)
# The file of package $1 (nothing when there is none).
deb() { local f; for f in "$scratch"/debs/"$1"_*.deb; do [ -e "$f" ] && echo "$f"; return; done; }
for p in "${packages[@]}"; do
  [ -n "$(deb "$p")" ] || fail "no package $p"
  [ "$(dpkg-deb -f "$(deb "$p")" Package)" = "$p" ] || fail "$(deb "$p") is not named $p"
  echo "$p $(dpkg-deb -f "$(deb "$p")" Version): $(dpkg-deb -f "$(deb "$p")" Description | head -1)"
  echo "    depends on: $(dpkg-deb -f "$(deb "$p")" Depends)"
  dpkg -x "$(deb "$p")" "$scratch/root"
done
for p in vantor libkelvra-dev kelvra-tools; do
  dpkg-deb -f "$(deb "$p")" Depends | grep -q "libkelvra1 (= $version)" || fail "$p must depend on libkelvra1 (= $version)"
done
dpkg-deb -f "$(deb libkelvra1)" Depends | grep -q "libc6" || fail "libkelvra1 lacks its system dependencies"
[ "$(for p in "${packages[@]}"; do dpkg-deb -f "$(deb "$p")" Description | head -1; done | sort -u | wc -l)" -eq ${#packages[@]} ] ||
  fail "two packages share one summary"

echo "-- lintian"
all_debs=("$scratch"/debs/*.deb "$scratch"/debs/*.ddeb)
lintian --fail-on error,warning --tag-display-limit 0 "${all_debs[@]}" >"$scratch/lintian.log" 2>&1 ||
  { cat "$scratch/lintian.log"; fail "lintian reports errors or warnings"; }
grep -v '^N: ' "$scratch/lintian.log" | grep -E '^[EW]: ' && fail "lintian reports errors or warnings"
echo "lintian: no errors or warnings on ${#all_debs[@]} packages"

echo "-- the tools install without Qt"
# The packages apt would install for kelvra-tools: its dependencies and those of libkelvra1, closed
# over Debian's archive. The same closure for vantor must hold Qt, or the check proves nothing.
closure() {
  local names
  names=$(for p in "$@"; do dpkg-deb -f "$(deb "$p")" Depends; done | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/ //g' |
    grep -v -x -e '' -e libkelvra1 | sort -u)
  # shellcheck disable=SC2086
  apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
    --no-enhances $names | grep -v '^ ' | sort -u
}
closure kelvra-tools libkelvra1 >"$scratch/tools-closure.txt"
closure vantor libkelvra1 >"$scratch/vantor-closure.txt"
grep -q '^libqt6' "$scratch/vantor-closure.txt" || fail "the dependency closure of vantor holds no Qt: the check is broken"
if grep -i 'qt' "$scratch/tools-closure.txt"; then fail "kelvra-tools pulls in Qt"; fi
echo "kelvra-tools: $(wc -l <"$scratch/tools-closure.txt") packages in its closure, none of Qt"

echo "-- libkelvra1: shlibs, symbols, ldconfig trigger, debug symbols"
dpkg-deb -e "$(deb libkelvra1)" "$scratch/control"
grep -qx "libkelvra 1 libkelvra1 (>= $version)" "$scratch/control/shlibs" || { cat "$scratch/control/shlibs"; fail "bad shlibs file"; }
grep -qx 'activate-noawait ldconfig' "$scratch/control/triggers" || fail "libkelvra1 has no ldconfig trigger"
if [ -e "$scratch/control/postinst" ] || [ -e "$scratch/control/postrm" ]; then fail "libkelvra1 has maintainer scripts"; fi
# The symbols file lists exactly what the library exports (-c4: a missing or new symbol fails).
mkdir -p "$scratch/symbols/debian"
cp "$source_dir/packaging/debian/changelog" "$scratch/symbols/debian/changelog"
mkdir -p "$scratch/pkg"
dpkg-deb -R "$(deb libkelvra1)" "$scratch/pkg/libkelvra1"
(cd "$scratch/symbols" && dpkg-gensymbols -q -plibkelvra1 -P"$scratch/pkg/libkelvra1" \
  -I"$scratch/control/symbols" -O"$scratch/symbols/out" -c4 >"$scratch/symbols.log" 2>&1) ||
  { cat "$scratch/symbols.log"; fail "the symbols file does not match the library's exports"; }
for p in libkelvra1 kelvra-tools vantor; do
  dbg=("$scratch"/debs/"$p"-dbgsym_*.ddeb)
  [ -e "${dbg[0]}" ] || fail "no debug symbols package for $p"
  dpkg-deb -c "${dbg[0]}" >"$scratch/dbgsym.txt"
  grep -q '/usr/lib/debug/.build-id/.*\.debug$' "$scratch/dbgsym.txt" || fail "${dbg[0]} holds no debug files"
done

echo "-- manual pages, desktop entry, dissector"
root=$scratch/root
for program in "$root"/usr/bin/*; do
  [ -e "$root/usr/share/man/man1/$(basename "$program").1.gz" ] || fail "no manual page for $(basename "$program")"
done
zcat "$root/usr/share/man/man1/kelvra.1.gz" | grep -q 'discover' || fail "the manual page of kelvra lacks its commands"
desktop-file-validate "$root/usr/share/applications/vantor.desktop" >"$scratch/desktop.txt" 2>&1 || true
[ ! -s "$scratch/desktop.txt" ] || { cat "$scratch/desktop.txt"; fail "desktop-file-validate finds fault with the desktop entry"; }
lua_folder=$(tshark -G folders 2>/dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*//p')
[ -n "$lua_folder" ] || fail "tshark names no global Lua plugin folder"
[ -e "$root$lua_folder/kelvra.lua" ] || fail "the dissector is not in $lua_folder"

libdir=$(dirname "$(find "$root/usr" -name 'libkelvra.so.1' | head -1)")
[ -n "$libdir" ] || fail "libkelvra.so.1 is not in the packages"
readelf -d "$libdir/libkelvra.so.1" | grep -q 'SONAME.*\[libkelvra.so.1\]' || fail "libkelvra.so.1 has no SONAME libkelvra.so.1"
[ -L "$libdir/libkelvra.so" ] || fail "libkelvra.so is not a link"
for f in usr/bin/Vantor usr/bin/vantor-cli usr/bin/kelvra usr/bin/ledcard-sim usr/bin/ledcard-sim-show \
         usr/share/vantor/Language/English_zavo.ini usr/share/vantor/DudoHelp.html \
         usr/share/applications/vantor.desktop usr/share/icons/hicolor/scalable/apps/vantor.svg \
         usr/include/kelvra/kelvra.h; do
  [ -e "$root/$f" ] || fail "$f is not in the packages"
done

echo "-- a program outside the tree: pkg-config, dpkg-shlibdeps"
mkdir -p "$scratch/consumer"
cp tests/kelvra_abi/c_caller.c tests/packaging/consumer/CMakeLists.txt "$scratch/consumer/"
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion kelvra)" = "$version" ] || fail "kelvra.pc names another version"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -o "$scratch/discover-pc" "$scratch/consumer/c_caller.c" \
  $(pkg-config --cflags --libs kelvra)
unset PKG_CONFIG_PATH
# A package of that program: dpkg-shlibdeps takes libkelvra1's shlibs and symbols from the package.
mkdir -p "$scratch/shlibdeps/debian/discover/usr/bin"
printf 'Source: discover\n\nPackage: discover\nArchitecture: any\n' >"$scratch/shlibdeps/debian/control"
cp "$scratch/discover-pc" "$scratch/shlibdeps/debian/discover/usr/bin/discover"
(cd "$scratch/shlibdeps" && dpkg-shlibdeps -O -S"$scratch/pkg/libkelvra1" \
  -l"$scratch/pkg/libkelvra1/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)" debian/discover/usr/bin/discover) \
  >"$scratch/shlibdeps.txt" 2>&1 || { cat "$scratch/shlibdeps.txt"; fail "dpkg-shlibdeps failed on the consumer"; }
grep -q "libkelvra1 (>= $version)" "$scratch/shlibdeps.txt" || { cat "$scratch/shlibdeps.txt"; fail "dpkg-shlibdeps does not name libkelvra1"; }
echo "consumer: $(grep "^shlibs:Depends=" "$scratch/shlibdeps.txt")"

echo "-- a program outside the tree: find_package(Kelvra)"
cmake -S "$scratch/consumer" -B "$scratch/consumer-build" -DCMAKE_PREFIX_PATH="$root/usr" >"$scratch/cmake.log" 2>&1 ||
  { cat "$scratch/cmake.log"; fail "find_package(Kelvra) failed"; }
cmake --build "$scratch/consumer-build" >>"$scratch/cmake.log" 2>&1 || { cat "$scratch/cmake.log"; fail "the consumer did not build"; }

if [ "$(id -u)" -ne 0 ] || ! unshare -n true 2>/dev/null; then
  echo "-- not root: the programs are built but not run (they broadcast)"
  exit 0
fi
echo "-- the packaged programs discover simulated cards (private network namespace)"
# shellcheck disable=SC2016
unshare -n bash -c '
  set -euo pipefail
  root=$1 libdir=$2 scratch=$3
  ip link set lo up
  ip route replace default dev lo
  export LD_LIBRARY_PATH=$libdir
  "$root/usr/bin/ledcard-sim" --cards 2 --first-address 127.0.9.1 2>"$scratch/sim.log" &
  sim=$!
  trap "kill $sim; wait $sim || true" EXIT
  for _ in $(seq 1 100); do grep -q "cards ready" "$scratch/sim.log" && break; sleep 0.05; done
  for program in "$scratch/discover-pc" "$scratch/consumer-build/discover"; do
    "$program" >"$scratch/out.txt"
    [ "$(wc -l <"$scratch/out.txt")" -eq 2 ] || { cat "$scratch/out.txt"; echo "$program found $(wc -l <"$scratch/out.txt") cards"; exit 1; }
    echo "$(basename "$program"): $(tr "\n" " " <"$scratch/out.txt")"
  done
  "$root/usr/bin/kelvra" discover --json | grep -c "127.0.9." | grep -qx 2
  echo "kelvra discover --json: 2 cards"
  # The packaged Python package, on the packaged library (found as libkelvra.so.1, as once installed).
  PYTHONPATH=$root/usr/lib/python3/dist-packages /usr/bin/python3 -c "
import kelvra
assert kelvra.__file__.startswith(\"$root/\"), kelvra.__file__
found = sorted(c.address for c in kelvra.discover())
assert found == [\"127.0.9.1\", \"127.0.9.2\"], found
print(\"python3-kelvra: kelvra.discover() found\", \" \".join(found))"
  # The packaged Vantor keeps its settings in the user'"'"'s configuration folder and takes the installed
  # language files (it writes no copies of its own).
  mkdir -p "$scratch/home/run"
  HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/config XDG_RUNTIME_DIR=$scratch/home/run \
    QT_QPA_PLATFORM=offscreen "$root/usr/bin/Vantor" >"$scratch/vantor.log" 2>&1 &
  vantor=$!
  for _ in $(seq 1 200); do grep -qs ZAVO_Language "$scratch/home/config/vantor/setting.ini" && break; sleep 0.05; done
  kill $vantor; wait $vantor || true
  grep -qs "ZAVO_Language=Chinese_zavo_s" "$scratch/home/config/vantor/setting.ini" || { cat "$scratch/vantor.log"; echo "Vantor wrote no settings in ~/.config/vantor"; exit 1; }
  [ ! -e "$scratch/home/config/vantor/Language" ] || { echo "Vantor did not find the installed language files"; exit 1; }
  echo "Vantor: settings in the user'"'"'s folder, installed language files"
' package-run "$root" "$libdir" "$scratch"
echo "package test: all good"
