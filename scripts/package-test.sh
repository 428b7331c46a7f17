#!/usr/bin/env bash
# Builds the Debian packages from an optimised build folder, unpacks them into a scratch root and
# checks them as a user of the packages would: their names and dependencies, the library's SONAME, a
# C program built outside the tree against the unpacked library with pkg-config and with
# find_package(Kelvra), and that program and the packaged kelvra command line discovering cards of the
# packaged ledcard-sim (as root, inside a private network namespace: nothing leaves the machine).
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
for p in vantor libkelvra1 libkelvra-dev; do
  deb=$(ls "$scratch"/debs/${p}_*.deb 2>/dev/null | head -1)
  [ -n "$deb" ] || fail "no package $p"
  [ "$(dpkg-deb -f "$deb" Package)" = "$p" ] || fail "$deb is not named $p"
  echo "$p: $(dpkg-deb -f "$deb" Version) depends on: $(dpkg-deb -f "$deb" Depends)"
  dpkg -x "$deb" "$scratch/root"
done
dpkg-deb -f "$scratch"/debs/vantor_*.deb Depends | grep -q "libkelvra1 (= $version)" || fail "vantor must depend on libkelvra1"
dpkg-deb -f "$scratch"/debs/libkelvra-dev_*.deb Depends | grep -q "libkelvra1 (= $version)" || fail "libkelvra-dev must depend on libkelvra1"
dpkg-deb -f "$scratch"/debs/libkelvra1_*.deb Depends | grep -q "libc6" || fail "libkelvra1 lacks its system dependencies"

root=$scratch/root
libdir=$(dirname "$(find "$root/usr" -name 'libkelvra.so.1' | head -1)")
[ -n "$libdir" ] || fail "libkelvra.so.1 is not in the packages"
readelf -d "$libdir/libkelvra.so.1" | grep -q 'SONAME.*\[libkelvra.so.1\]' || fail "libkelvra.so.1 has no SONAME libkelvra.so.1"
[ -L "$libdir/libkelvra.so" ] || fail "libkelvra.so is not a link"
for f in usr/bin/Vantor usr/bin/kelvra usr/bin/ledcard-sim usr/bin/ledcard-sim-show \
         usr/share/vantor/Language/English_zavo.ini usr/share/vantor/DudoHelp.html \
         usr/share/applications/vantor.desktop usr/share/icons/hicolor/scalable/apps/vantor.svg \
         usr/share/vantor/wireshark/kelvra.lua usr/include/kelvra/kelvra.h; do
  [ -e "$root/$f" ] || fail "$f is not in the packages"
done

echo "-- a program outside the tree: pkg-config"
mkdir -p "$scratch/consumer"
cp tests/kelvra_abi/c_caller.c tests/packaging/consumer/CMakeLists.txt "$scratch/consumer/"
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion kelvra)" = "$version" ] || fail "kelvra.pc names another version"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -o "$scratch/discover-pc" "$scratch/consumer/c_caller.c" \
  $(pkg-config --cflags --libs kelvra)
unset PKG_CONFIG_PATH

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
