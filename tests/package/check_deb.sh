#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks it: its name and dependencies,
# its files, and the installed tarvex-cli at work (--help, a page rendered to WAV).
#   check_deb.sh BUILD_DIR           unpacks the package into a temporary root and runs it there
#   check_deb.sh BUILD_DIR --install also installs it with dpkg -i (as root), runs
#                                    /usr/bin/tarvex-cli and removes the package again
set -euo pipefail
build="$(cd "$1" && pwd)"
mode="${2:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
deb="$work/out/tarvex_${version}_amd64.deb"
[ -f "$deb" ] || { echo "FAIL: no $deb; cpack made: $(ls "$work/out")"; exit 1; }
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6multimedia6 qt6-qpa-plugins libstdc++6; do
    grep -q "$lib" <<<"$depends" || { echo "FAIL: Depends lacks $lib"; exit 1; }
done
files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in ./usr/bin/tarvex ./usr/bin/tarvex-cli \
         ./usr/share/applications/com.dovrik_apps.tarvex.desktop \
         ./usr/share/metainfo/com.dovrik_apps.tarvex.metainfo.xml \
         ./usr/share/tarvex/help/tarvex-help.html; do
    grep -qx -- "$f" <<<"$files" || { echo "FAIL: the package lacks $f"; exit 1; }
done

run_cli() { # tarvex-cli
    "$1" --help | grep -q "tarvex-cli listing PAGE"
    "$1" wav --ric 1234567 --func 0 --message Hello -o "$work/page.wav" >/dev/null
    [ "$(stat -c %s "$work/page.wav")" = "$((44 + 1387 * 96))" ] ||
        { echo "FAIL: $1 wrote a WAV of the wrong size"; exit 1; }
    echo "ran $1: --help and a page rendered to WAV"
}

dpkg-deb -x "$deb" "$work/root"
run_cli "$work/root/usr/bin/tarvex-cli"

if [ "$mode" = "--install" ]; then
    if dpkg -s tarvex >/dev/null 2>&1; then
        echo "FAIL: a tarvex package is installed already; not touching it"
        exit 1
    fi
    dpkg -i "$deb" >/dev/null
    trap 'dpkg -r tarvex >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
    run_cli /usr/bin/tarvex-cli
    [ -x /usr/bin/tarvex ] || { echo "FAIL: /usr/bin/tarvex missing after dpkg -i"; exit 1; }
    dpkg -r tarvex >/dev/null
    echo "installed with dpkg -i, ran, removed"
fi
echo "PASS"
