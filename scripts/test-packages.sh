#!/usr/bin/env bash
# Builds the Debian packages, checks them with lintian, unpacks them into a throw-away root and checks
# them as an integrator would use them: the installed demo, pkg-config, and a host built against the
# installed headers (by hand and through the CMake package) that loads the installed plug-in.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/package.sh
bash scripts/install-packages.sh lintian
# Debian's own package checks; the archive-upload warnings do not apply to these packages.
lintian --fail-on error,warning --suppress-tags initial-upload-closes-no-bugs build/packages/*.deb 2>&1 \
  | { grep -v "running with root privileges" || true; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
apt-get install --simulate ./build/packages/*.deb > /dev/null  # every dependency is available
for package in build/packages/*.deb; do
  dpkg-deb -x "$package" "$root"
done
usr=$root/usr
plugin=$(find "$usr/lib" -name libtallowcam.so)
multiarch_lib=$(dirname "$(dirname "$plugin")")

echo "== tallowcam --version"
"$usr/bin/tallowcam" --version | tee "$root/version"
grep -qx "tallowcam $(sed -n 's/^project(tallowcam VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" "$root/version"
grep -qx "plug-in: $plugin" "$root/version"
zcat "$usr/share/man/man1/tallowcam.1.gz" | grep -q '^tallowcam \\- command-line host'
zcat "$usr/share/man/man1/camsim.1.gz" | grep -q '^RTSP port'

echo "== tallowcam demo, with the checkout and its build hidden"
# The simulated camera needs RTSP port 554: a loopback address of its own keeps clear of other programs.
unshare --mount sh -c 'mount -t tmpfs none "$0" && exec "$@"' "$PWD" "$usr/bin/tallowcam" demo --seconds 1 --address "127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))"

echo "== pkg-config"
export PKG_CONFIG_PATH=$multiarch_lib/pkgconfig
pkg_config() { pkg-config --define-variable=prefix="$usr" "$@" tallowcam; }
pkg_config --modversion
[ "$(pkg_config --cflags | xargs)" = "-I$usr/include" ]
[ "$(pkg_config --variable=plugin)" = "$plugin" ]
g++ -std=c++17 -Wall -Werror tests/package/LoadPlugin.cpp $(pkg_config --cflags) \
  -DTALLOWCAM_PLUGIN_PATH="\"$(pkg_config --variable=plugin)\"" $(pkg_config --libs) -o "$root/load_plugin"
"$root/load_plugin"

echo "== find_package(tallowcam)"
cmake -S tests/package -B "$root/host-build" -G Ninja -DCMAKE_PREFIX_PATH="$usr" > /dev/null
cmake --build "$root/host-build" > /dev/null
"$root/host-build/load_plugin" | grep -F "$plugin"
echo "The packages install and work"
