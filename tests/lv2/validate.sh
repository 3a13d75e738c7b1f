#!/bin/sh
# The Turtle files of both bundles against the LV2 vocabularies Debian ships (lv2-dev):
# sord_validate finds no error (undefined terms, wrong types, values outside their ranges).
#   tests/lv2/validate.sh BUILD-DIR
set -e
build=$1
vocabularies=
# (the vocabularies the files use, and what those build on)
for spec in atom core instance-access options parameters port-groups port-props presets schemas \
            state ui units urid; do
  for file in /usr/lib/lv2/$spec.lv2/*.ttl; do
    [ "$(basename "$file")" = manifest.ttl ] || vocabularies="$vocabularies $file"
  done
done
bundles=$(ls "$build"/lv2/qrx-grandpress.lv2/*.ttl "$build"/lv2/qrx-tinypress.lv2/*.ttl)
[ "$(echo "$bundles" | wc -w)" -eq 6 ] || { echo "expected three Turtle files per bundle"; exit 1; }
report=$(sord_validate $vocabularies $bundles 2>&1)
echo "$report" | tail -n 1
echo "$report" | grep -q "^Found 0 errors" || { echo "$report"; exit 1; }
