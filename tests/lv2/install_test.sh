#!/bin/sh
# make install's LV2 step into a temporary home (never the user's ~/.lv2): lv2ls lists both
# plug-ins from there, lv2info finds their presets; make uninstall's step removes them again.
#   tests/lv2/install_test.sh SOURCE-DIR BUILD-DIR
set -e
source=$1 build=$2
home=$(mktemp -d "${TMPDIR:-/tmp}/qrx-lv2-install-XXXXXX")
trap 'rm -rf "$home"' EXIT
export HOME="$home"
unset LV2_PATH
dest=$(make -s -C "$source" --no-print-directory print-lv2-dir)
[ "$dest" = "$home/.lv2" ] || { echo "LV2 folder is $dest, expected $home/.lv2"; exit 1; }
"$source/lv2/install.sh" install "$build" "$dest" >/dev/null
listed=$(LV2_PATH="$dest" lv2ls)
for uri in http://www.qrx-soundwerk.com/lv2/grandpress http://www.qrx-soundwerk.com/lv2/tinypress; do
  echo "$listed" | grep -qx "$uri" || { echo "lv2ls does not list $uri: $listed"; exit 1; }
  presets=$(LV2_PATH="$dest" lv2info "$uri" | sed -n '/Presets:/,/Port 0:/p' | grep -c "Gentle Master")
  [ "$presets" -eq 1 ] || { echo "$uri: the factory presets are missing"; exit 1; }
done
"$source/lv2/install.sh" uninstall "$dest" >/dev/null
[ -z "$(ls -A "$dest")" ] || { echo "left behind: $(ls -A "$dest")"; exit 1; }
[ -z "$(LV2_PATH="$dest" lv2ls)" ] || { echo "still listed after uninstall"; exit 1; }
echo "installed, listed and removed both bundles"
