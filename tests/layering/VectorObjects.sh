#!/usr/bin/env bash
# One-definition guard of the fast kernels: no symbol an `*_avx2` object defines as weak (inline
# functions, template instantiations: merged by the linker, which may keep the AVX copy) is also
# defined by a baseline object linked with it, or the baseline path could run AVX instructions
# on a processor without them. Instantiations on an AVX architecture type (names that carry
# avx2 or fma3) are distinct by name and allowed.
#
#   VectorObjects.sh NM 'OBJECT|OBJECT|...'   (all objects of the libraries one plug-in links)
set -euo pipefail

nm=$1
IFS='|' read -r -a objects <<<"$2"
vector=()
baseline=()
for object in "${objects[@]}"; do
    case "$(basename "$object")" in
        *_avx2.*) vector+=("$object") ;;
        *) baseline+=("$object") ;;
    esac
done
if [ ${#vector[@]} -eq 0 ]; then
    echo "no *_avx2 object among the ${#objects[@]} objects given" >&2
    exit 1
fi

# Weak code (W: inline functions, instantiations) of the vector objects, without the
# architecture's own instantiations (weak data such as DW.ref.* carries no instructions).
"$nm" --defined-only -P "${vector[@]}" | awk '$2 == "W" { print $1 }' |
    grep -v -E 'avx2|fma3' | sort -u >"${TMPDIR:-/tmp}/qrx-vector-weak.$$" || true
# Every definition of the baseline objects.
"$nm" --defined-only -P "${baseline[@]}" | awk 'NF >= 2 && $2 ~ /^[TtWVuDdBbRr]$/ { print $1 }' |
    sort -u >"${TMPDIR:-/tmp}/qrx-baseline.$$"
shared=$(comm -12 "${TMPDIR:-/tmp}/qrx-vector-weak.$$" "${TMPDIR:-/tmp}/qrx-baseline.$$")
rm -f "${TMPDIR:-/tmp}/qrx-vector-weak.$$" "${TMPDIR:-/tmp}/qrx-baseline.$$"
if [ -n "$shared" ]; then
    echo "defined weak in an AVX object and also in a baseline object:" >&2
    echo "$shared" | c++filt >&2
    exit 1
fi
echo "${#vector[@]} vector objects, ${#baseline[@]} baseline objects: no shared weak definitions"
