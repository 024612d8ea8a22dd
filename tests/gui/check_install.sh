#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the desktop integration there: both
# programs in bin/, the desktop entry, the icons and the AppStream metadata in their
# standard places, each accepted by its validator.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
id=com.dovrik_apps.tarvex
for f in bin/tarvex bin/tarvex-cli share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/128x128/apps/$id.png; do
  [[ -e "$prefix/$f" ]] || { echo "missing after install: $f" >&2; exit 1; }
done
[[ -x "$prefix/bin/tarvex" ]] || { echo "bin/tarvex is not executable" >&2; exit 1; }
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null
# The entry names the installed program and icon.
grep -qx "Exec=tarvex" "$prefix/share/applications/$id.desktop"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop"
echo "installed and valid: $prefix"
