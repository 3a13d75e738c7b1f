#!/bin/sh
# make install's LV2 bundles into a temporary home (never the user's ~/.lv2): lv2ls lists both
# plug-ins from there, lv2info finds their presets; make uninstall removes them again.
#   tests/lv2/install_test.sh SOURCE-DIR BUILD-DIR
set -e
source=$1 build=$2
home=$(mktemp -d "${TMPDIR:-/tmp}/qrx-lv2-install-XXXXXX")
trap 'rm -rf "$home"' EXIT
export HOME="$home"
unset LV2_PATH
dest=$(make -s -C "$source" --no-print-directory print-lv2-dir)
[ "$dest" = "$home/.lv2" ] || { echo "LV2 folder is $dest, expected $home/.lv2"; exit 1; }
"$source/tools/install.sh" install "$build" "$home/prefix" "$home/vst" "$dest" \
  lv2:qrx-grandpress.lv2 lv2:qrx-tinypress.lv2 >/dev/null
listed=$(LV2_PATH="$dest" lv2ls)
for uri in http://www.qrx-soundwerk.com/lv2/grandpress http://www.qrx-soundwerk.com/lv2/tinypress; do
  echo "$listed" | grep -qx "$uri" || { echo "lv2ls does not list $uri: $listed"; exit 1; }
  presets=$(LV2_PATH="$dest" lv2info "$uri" | sed -n '/Presets:/,/Port 0:/p' | grep -c "Gentle Master")
  [ "$presets" -eq 1 ] || { echo "$uri: the factory presets are missing"; exit 1; }
done
"$source/tools/install.sh" uninstall "$home/prefix" >/dev/null
[ ! -e "$dest" ] || { echo "left behind: $(ls -A "$dest")"; exit 1; }
[ -z "$(LV2_PATH="$dest" lv2ls)" ] || { echo "still listed after uninstall"; exit 1; }
echo "installed, listed and removed both bundles"
