#!/usr/bin/env bash
# Builds the project without GoogleTest and installs it as a distribution
# would (prefix /usr, multiarch libdir, staged with DESTDIR), then builds a
# small program against it twice: with pkg-config and with find_package.
# Usage: install_test.sh SOURCE_DIR WORK_DIR C++_COMPILER
set -euo pipefail
source_dir=$1
work=$2
cxx=$3
here=$(cd "$(dirname "$0")" && pwd)
libdir=lib/x86_64-linux-gnu
stage=$work/stage

rm -rf "$work"
mkdir -p "$work"
cmake -S "$source_dir" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=$libdir -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >/dev/null
cmake --build "$work/build" -j 2 >/dev/null
DESTDIR=$stage cmake --install "$work/build" >/dev/null

# Only the wbk/ folder is put on the include path.
headers=$(cd "$stage/usr/include" && ls)
[ "$headers" = wbk ] || { echo "include/ holds more than wbk/: $headers"; exit 1; }

echo "== pkg-config"
export PKG_CONFIG_PATH=$stage/usr/$libdir/pkgconfig
flags=$(pkg-config --cflags --libs wbk)
# Every installed header compiles on its own: they find each other.
for header in "$stage"/usr/include/wbk/*.h; do
  echo "#include <wbk/$(basename "$header")>" |
    "$cxx" -std=c++17 -Wall -Wextra -Werror -fsyntax-only -x c++ - $(pkg-config --cflags wbk)
done
"$cxx" -std=c++17 -Wall -Wextra -Werror -o "$work/consumer-pc" "$here/consumer.cpp" $flags
"$work/consumer-pc"
[ "$(pkg-config --modversion wbk)" = "$(sed -n 's/^project(wbk VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")" ]

echo "== the library example, on a bank made by the installed wbkpack"
"$cxx" -std=c++17 -Wall -Wextra -Werror -o "$work/bank2wav" "$source_dir/examples/bank2wav.cpp" \
  $(pkg-config --cflags --libs wbk sndfile)
printf 'abcdefgh' > "$work/eight.pc8"
(cd "$work" && LOGNAME=ex "$stage/usr/bin/wbkpack" -r 8000 ex.wbk eight.pc8 >/dev/null)
listing=$("$work/bank2wav" "$work/ex.wbk" 0 "$work/eight.wav")
[ "$listing" = "$(printf 'author: wbkpack:ex\n0\teight.pc8\t8000 Hz\t8 samples')" ] || { echo "bank2wav listed: $listing"; exit 1; }
[ "$(tail -c 8 "$work/eight.wav")" = "$(printf '\341\342\343\344\345\346\347\350')" ] || { echo "bank2wav decoded wrongly"; exit 1; }

echo "== find_package"
cmake -S "$here" -B "$work/consumer" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$stage/usr" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer"

# Same major version only.
if cmake -S "$here" -B "$work/consumer2" -DCMAKE_PREFIX_PATH="$stage/usr" -DWBK_VERSION=2.0 >/dev/null 2>&1; then
  echo "find_package(wbk 2.0) accepted version 1"
  exit 1
fi
# An absolute libdir: wbk.pc names the directories as they are installed.
cmake -S "$source_dir" -B "$work/absolute" -DCMAKE_INSTALL_PREFIX=/opt/wbk -DCMAKE_INSTALL_LIBDIR=/opt/lib64 \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >/dev/null
[ "$(pkg-config --variable=libdir "$work/absolute/wbk.pc")" = /opt/lib64 ]
[ "$(pkg-config --variable=includedir "$work/absolute/wbk.pc")" = /opt/wbk/include ]
echo "install test passed"
