#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and checks what a desktop
# needs: the executable, a valid menu entry whose Exec and Icon are there,
# the icon in every size, and valid AppStream metainfo.
#   install-test.sh BUILD_FOLDER APP_ID SIZE...
# Exits 77 (skipped) when the validators are not installed.
set -euo pipefail
build=$1
app_id=$2
shift 2
sizes=("$@")

for tool in desktop-file-validate appstreamcli python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null

[ -x "$prefix/bin/corvane" ] || fail "bin/corvane is missing or not executable"

desktop="$prefix/share/applications/$app_id.desktop"
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
  entry() { sed -n "s/^$1=//p" "$desktop"; }
  exec_program=$(entry Exec | cut -d' ' -f1)
  [ -x "$prefix/bin/$exec_program" ] || fail "Exec=$exec_program is not an installed program"
  [ "$(entry Categories)" = "Network;FileTransfer;" ] || fail "Categories is '$(entry Categories)'"
  for key in Name GenericName Comment; do
    [ -n "$(entry "$key")" ] || fail "$key is missing"
    [ -n "$(entry "$key\\[zh_CN\\]")" ] || fail "$key[zh_CN] is missing"
  done
  icon=$(entry Icon)
else
  fail "$desktop is missing"
  icon=corvane
fi

# Every PNG must be a real image of its folder's size.
hicolor="$prefix/share/icons/hicolor"
for size in "${sizes[@]}"; do
  png="$hicolor/${size}x${size}/apps/$icon.png"
  python3 - "$png" "$size" <<'PY' || fail "$png is not a ${size}x${size} PNG"
import struct, sys
data = open(sys.argv[1], "rb").read(32)
size = int(sys.argv[2])
ok = data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
sys.exit(0 if ok and struct.unpack(">II", data[16:24]) == (size, size) else 1)
PY
done
svg="$hicolor/scalable/apps/$icon.svg"
python3 - "$svg" <<'PY' || fail "$svg is not an SVG drawing"
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
ns = "{http://www.w3.org/2000/svg}"
shapes = [e for e in root.iter() if e.tag in (ns + "path", ns + "rect", ns + "polygon")]
sys.exit(0 if root.tag == ns + "svg" and root.get("viewBox") and shapes else 1)
PY

metainfo="$prefix/share/metainfo/$app_id.metainfo.xml"
if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $app_id.desktop"
  grep -q '@[A-Z_]*@' "$metainfo" && fail "the metainfo holds an unreplaced @VARIABLE@"
else
  fail "$metainfo is missing"
fi

[ $failures -eq 0 ] || exit 1
echo "installed files are complete and valid"
