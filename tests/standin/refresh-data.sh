#!/usr/bin/env bash
# Refreshes tests/standin/data/ from the recorded web answers kept beside the
# repository (../shared/webdata/ by default, or the folder given). The .gz
# files are copied as they are; the stand-in reads them from data/.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
source="${1:-$repo/../shared/webdata}"
target="$here/data"

for f in README.md tcgdex/README.md tcgdex/en.json.gz tcgdex/ja.json.gz tcgdex/thirdparty.json.gz \
         tcgcsv/README.md tcgcsv/3.json.gz tcgcsv/85.json.gz; do
    if [ ! -f "$source/$f" ]; then
        echo "refresh-data: $source/$f is missing" >&2
        exit 1
    fi
done

mkdir -p "$target/tcgdex" "$target/tcgcsv"
for f in README.md tcgdex/README.md tcgdex/en.json.gz tcgdex/ja.json.gz tcgdex/thirdparty.json.gz \
         tcgcsv/README.md tcgcsv/3.json.gz tcgcsv/85.json.gz; do
    if ! cmp -s "$source/$f" "$target/$f"; then
        cp "$source/$f" "$target/$f"
        chmod u+w,go-w "$target/$f"
        echo "updated $f"
    fi
done
