#!/usr/bin/env bash
# Writes the picture loader's seed corpus into fuzz/corpus/picture/ with ImageMagick: small
# JPEGs of the kinds cameras and editors write (baseline, progressive, grey, each chroma
# subsampling, arithmetic coding, CMYK), cut and damaged variants, and other formats behind the
# name. Run it again after adding a kind; the files are committed.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/corpus/picture
mkdir -p "$out"
src=$(mktemp --suffix=.png)
trap 'rm -f "$src"' EXIT
convert -size 40x24 gradient:'#204080-#f0c020' -swirl 90 "$src"
jpg() { convert "$src" -quality 80 "$@"; }
jpg -sampling-factor 4:2:0 "$out/baseline-420.jpg"
jpg -sampling-factor 4:2:2 "$out/baseline-422.jpg"
jpg -sampling-factor 4:4:4 "$out/baseline-444.jpg"
jpg -interlace JPEG "$out/progressive.jpg"
jpg -colorspace Gray "$out/grey.jpg"
jpg -set comment 'a comment segment' "$out/comment.jpg"
jpg -colorspace CMYK "$out/cmyk.jpg"
convert "$src" PNG:"$out/png-named-jpg.jpg"
convert "$src" GIF:"$out/gif-named-jpg.jpg"
# Cut inside the scan and inside the header, and coded data overwritten.
full=$(stat -c %s "$out/baseline-420.jpg")
head -c $((full * 2 / 3)) "$out/baseline-420.jpg" >"$out/cut-in-scan.jpg"
head -c 200 "$out/progressive.jpg" >"$out/progressive-cut.jpg"
head -c 30 "$out/baseline-444.jpg" >"$out/cut-in-header.jpg"
cp "$out/baseline-422.jpg" "$out/damaged-scan.jpg"
printf '\x13\x37\xff\x00\x42\x42\x42\x42' |
    dd of="$out/damaged-scan.jpg" bs=1 seek=$((full / 2)) conv=notrunc status=none
printf '\xff\xd8\xff\xd9' >"$out/soi-eoi.jpg"
cp "$out/../../../tests/data/arithmetic.jpg" "$out/arithmetic.jpg"
ls -l "$out"
