#!/usr/bin/env bash
# Makes the release archive of the plug-in, or checks one:
#
#   bash scripts/package.sh [--module FILE] [--out DIR]
#   bash scripts/package.sh --check [--module FILE] [--out DIR]
#
# The archive, DIR/elasticpull-VERSION-win32.zip (default DIR: dist/), holds
# one folder, elasticpull-VERSION-win32/, with
#
#   elasticpull.p   the 32-bit Windows DLL (default: build/mingw/elasticpull.p,
#                   built with the mingw preset first when it is not there)
#   guide.html      the user guide, docs/guide.md as HTML
#   guide/*.svg     the guide's pictures, those it shows and no others
#   LICENSE.txt     the licence
#   SHA256SUMS      the SHA-256 sum of each of the files above
#
# The same sources give the same archive byte for byte: every file carries the
# time of the last commit, and the entries are in a fixed order.
#
# --check makes the archive as above, then reads it back and fails unless it
# holds exactly those files, the sums match, the DLL in it is the module given
# and every picture the guide's HTML shows is in it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

module=""
out=dist
check=0
while [ "$#" -gt 0 ]; do
  case "$1" in
    --module) module="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --check) check=1; shift ;;
    -h|--help) sed -n '2,22p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
done

for tool in cmark-gfm zip unzip sha256sum; do
  command -v "$tool" >/dev/null || { echo "package: needs $tool (bash scripts/install-deps.sh)" >&2; exit 1; }
done

version=$(sed -n 's/^project(ElasticPull VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
if [ -z "$module" ]; then
  module=build/mingw/elasticpull.p
  if [ ! -f "$module" ]; then
    echo "package: building $module (the mingw preset's target elasticpull)"
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw --target elasticpull
  fi
fi
[ -f "$module" ] || { echo "package: no module at $module" >&2; exit 1; }

name="elasticpull-$version-win32"
mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root="$stage/$name"
mkdir -p "$root/guide"

# The guide as one HTML page; its pictures keep their relative paths.
{
  printf '<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
  printf '<title>Elastic_Pull %s: a guide for users of the Modeler</title>\n' "$version"
  printf '<style>body{font-family:sans-serif;max-width:60em;margin:2em auto;padding:0 1em;line-height:1.45}'
  printf 'img{max-width:100%%}table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:.3em .5em;'
  printf 'vertical-align:top}code{background:#f3f3f3}</style>\n</head>\n<body>\n'
  cmark-gfm -e table docs/guide.md
  printf '</body>\n</html>\n'
} > "$root/guide.html"
pictures=$(grep -o 'src="guide/[^"]*"' "$root/guide.html" | sed 's/^src="guide\///; s/"$//' | sort -u)
for picture in $pictures; do cp "docs/guide/$picture" "$root/guide/$picture"; done
cp "$module" "$root/elasticpull.p"
cp LICENSE "$root/LICENSE.txt"
(cd "$root" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)

stamp=$(git log -1 --format=%cd --date=format:%Y%m%d%H%M.%S 2>/dev/null || echo 202601010000.00)
find "$root" -exec touch -h -t "$stamp" {} +
zipfile="$out/$name.zip"
rm -f "$zipfile"
(cd "$stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -D "$zipfile" -@)
echo "package: wrote $zipfile ($(wc -c < "$zipfile") bytes)"

[ "$check" -eq 1 ] || exit 0

# Read the archive back.
fail() { echo "package: check failed: $*" >&2; exit 1; }
listed=$(unzip -Z1 "$zipfile" | LC_ALL=C sort)
expected=$( { for f in elasticpull.p guide.html LICENSE.txt SHA256SUMS; do echo "$name/$f"; done
              for picture in $pictures; do echo "$name/guide/$picture"; done; } | LC_ALL=C sort)
[ "$listed" = "$expected" ] || fail "the archive holds"$'\n'"$listed"$'\n'"instead of"$'\n'"$expected"
[ -n "$pictures" ] || fail "the guide shows no pictures"
unpacked="$stage/unpacked"
mkdir -p "$unpacked"
unzip -q "$zipfile" -d "$unpacked"
(cd "$unpacked/$name" && sha256sum --quiet -c SHA256SUMS) || fail "a sum in SHA256SUMS does not match"
sums=$(cut -c67- "$unpacked/$name/SHA256SUMS" | LC_ALL=C sort)
[ "$sums" = "$(echo "$expected" | sed "s|^$name/||" | grep -v '^SHA256SUMS$' | LC_ALL=C sort)" ] ||
  fail "SHA256SUMS does not list every other file"
cmp -s "$module" "$unpacked/$name/elasticpull.p" || fail "the DLL in the archive is not $module"
head -c 2 "$unpacked/$name/elasticpull.p" | grep -q MZ || fail "elasticpull.p is not a Windows DLL"
grep -q '<h1>Elastic_Pull: a guide for users of the Modeler</h1>' "$unpacked/$name/guide.html" ||
  fail "guide.html lacks the guide's title"
echo "package: checked $zipfile: $(echo "$listed" | wc -l) files, sums match"
