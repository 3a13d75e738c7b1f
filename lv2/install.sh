#!/bin/sh
# Installs or removes the LV2 bundles (make install, make uninstall).
#   lv2/install.sh install BUILD-DIR LV2-DIR    copies build/lv2/qrx-*.lv2 into LV2-DIR
#   lv2/install.sh uninstall LV2-DIR            removes them from LV2-DIR
# A bundle is copied beside the old one and then put in its place, so a host scanning meanwhile
# sees the old bundle or the new one, never half of one. Only our own bundles are touched.
set -e
bundles="qrx-grandpress.lv2 qrx-tinypress.lv2"
case "$1" in
  install)
    build=$2 dest=$3
    mkdir -p "$dest"
    for b in $bundles; do
      [ -f "$build/lv2/$b/manifest.ttl" ] || { echo "install: $build/lv2/$b is not built" >&2; exit 1; }
      rm -rf "$dest/.$b.new"
      cp -R "$build/lv2/$b" "$dest/.$b.new"
      rm -rf "$dest/$b"
      mv "$dest/.$b.new" "$dest/$b"
    done
    echo "installed $bundles in $dest"
    ;;
  uninstall)
    dest=$2
    for b in $bundles; do rm -rf "$dest/$b" "$dest/.$b.new"; done
    echo "removed $bundles from $dest"
    ;;
  *)
    echo "usage: $0 install BUILD-DIR LV2-DIR | uninstall LV2-DIR" >&2
    exit 2
    ;;
esac
