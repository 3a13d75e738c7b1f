#!/usr/bin/env bash
# Takes a new reference snapshot for run.sh: the product sources of the working tree (everything
# but tests, docs and benchmarks). Run it only when the sound is meant to change, and say why in
# the commit.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
git ls-files -co --exclude-standard -- . ':!tests' ':!docs' ':!bench' ':!*.md' |
    tar -cf - --owner=0 --group=0 --mtime=@0 --sort=name -T - |
    xz -9e >tests/regression/reference-source.tar.xz
echo "reference snapshot: $(du -k tests/regression/reference-source.tar.xz | cut -f1) KiB"
