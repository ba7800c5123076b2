#!/bin/bash
# Builds the Debian package and checks it as a user would meet it: lintian, the
# desktop entry and the AppStream metainfo validators, the user's documents with
# the pictures they link, and the programs unpacked into a temporary root and run
# from another working directory: --version, the simulator, recording against it,
# and the window on a virtual display showing its compiled-in pictures and icon.
# Usage: check-package.sh VERSION BUILD_DIR
set -euo pipefail
version=$1
buildDir=$2
source=$(realpath "$(dirname "$0")/../..")

source "$(dirname "$0")/scratch.sh"

package=$("$source/scripts/package.sh" "$buildDir" | tail -n1)
[[ "$(basename "$package")" == "quva-explorer_${version}_$(dpkg --print-architecture).deb" ]] ||
    fail "package name $(basename "$package")"

# Fields, dependencies computed from the binaries plus the SVG plugin, and one maintainer
# script, the postinst that makes the recorder service's user: removing the package removes
# exactly the files it installed.
control=$(dpkg-deb -f "$package")
for field in Maintainer Section Description Depends; do
    grep -q "^$field: ." <<<"$control" || fail "no $field field"
done
depends=$(dpkg-deb -f "$package" Depends)
for dependency in libqt5svg5 libqt5widgets5 libqt5serialport5 libmodbus5 libxlsxwriter libmosquitto1; do
    grep -q "$dependency" <<<"$depends" || fail "Depends lacks $dependency: $depends"
done
controlFiles=$(dpkg-deb --ctrl-tarfile "$package" | tar -t | grep -v '^\./$' | sort | tr '\n' ' ')
[[ "$controlFiles" == "./control ./md5sums ./postinst " ]] || fail "control archive holds $controlFiles"

lintian --fail-on error "$package" || fail "lintian reports errors"

# The package's file list equals what cmake --install puts into a prefix.
cmake --install "$buildDir" --prefix "$work/prefix" >/dev/null
packaged=$(dpkg-deb -c "$package" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./usr/||' | sort)
installed=$(cd "$work/prefix" && find . -type f | sed 's|^\./||' | sort)
[[ "$packaged" == "$installed" ]] ||
    fail "cmake --install and the package differ: $(diff <(echo "$packaged") <(echo "$installed"))"

root="$work/root"
dpkg-deb -x "$package" "$root"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
grep -q "<release version=\"$version\"" "$root"/usr/share/metainfo/*.metainfo.xml ||
    fail "metainfo names another version"

# The user guide and the documents it leads to, gzipped without name or time stamp;
# every relative link in them reaches a file in the package, and every picture there
# is linked. The developers' notes are not shipped.
doc="$root/usr/share/doc/quva-explorer"
[[ -f "$doc/user-guide.md.gz" ]] || fail "no user guide in $doc: $(ls "$doc")"
for notes in README.md development.md.gz performance.md.gz reliability.md.gz; do
    [[ ! -e "$doc/$notes" ]] || fail "the package ships the developers' $notes"
done
python3 - "$doc" <<'LINKS' || fail "documentation links"
import gzip, os, re, sys
doc = sys.argv[1]
targets, problems = set(), []
for name in sorted(os.listdir(doc)):
    if not name.endswith(".md.gz"):
        continue
    with open(os.path.join(doc, name), "rb") as f:
        head = f.read(10)
    if head[3] & 0x08 or head[4:8] != bytes(4):
        problems.append(f"{name} carries a file name or time stamp")
    text = gzip.open(os.path.join(doc, name), "rt", encoding="utf-8").read()
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        path = target.split("#")[0]
        if re.match(r"[a-z]+:", target) or not path:
            continue
        targets.add(os.path.normpath(path))
        if not os.path.isfile(os.path.join(doc, path)):
            problems.append(f"{name} links {target}, which is not in the package")
pictures = {n for n in os.listdir(doc) if n.endswith(".png")}
if not pictures & targets:
    problems.append("the user guide links no picture")
problems += [f"{p} is shipped but not linked" for p in sorted(pictures - targets)]
print("\n".join(problems), file=sys.stderr)
sys.exit(1 if problems else 0)
LINKS
[[ -f "$root/usr/share/man/man1/quva-recorder.1.gz" ]] || fail "no manual page of quva-recorder"
# quva-recorder is for computers without a desktop, packaged as built.
"$source/tests/recorder/recorder_libraries.sh" "$root/usr/bin/quva-recorder" "$version" >/dev/null ||
    fail "$("$source/tests/recorder/recorder_libraries.sh" "$root/usr/bin/quva-recorder" "$version")"
rootFiles=$(cd "$root" && find . | sort)

mkdir "$work/cwd"
cd "$work/cwd"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
[[ "$("$root/usr/bin/quva-explorer" --version)" == "quva-explorer $version" ]] ||
    fail "quva-explorer --version"
[[ "$("$root/usr/bin/quva-sim" --version)" == "quva-sim $version" ]] || fail "quva-sim --version"
[[ "$("$root/usr/bin/quva-explorer" --help)" == *--data-folder* ]] || fail "quva-explorer --help"

"$root/usr/bin/quva-sim" --rate 5 --exit-with-parent >sim.out 2>sim.err &
pids+=($!)
waitFor 300 grep -q '^port: ' sim.out || fail "quva-sim gave no port: $(cat sim.err)"
port=$(sed -n 's/^port: //p' sim.out)
"$root/usr/bin/quva-explorer" --record recording.csv --port "$port" --duration 3 >/dev/null ||
    fail "recording against quva-sim"
samples=$(grep -c '^[0-9]' recording.csv || true)
((samples >= 2)) || fail "recording holds $samples samples"
"$root/usr/bin/quva-recorder" --record recorder.csv --port "$port" --duration 3 >/dev/null ||
    fail "quva-recorder against quva-sim"
samples=$(grep -c '^[0-9]' recorder.csv || true)
((samples >= 2)) || fail "quva-recorder's recording holds $samples samples"

# The window on a virtual display, in a folder without pictures: the USB Kit's red
# button (a PNG) and the formula (an SVG) are drawn, and the window has an icon.
cat >window.sh <<'WINDOW'
set -euo pipefail
root=$1
QT_QPA_PLATFORM=xcb "$root/usr/bin/quva-explorer" &
program=$!
trap 'kill $program 2>/dev/null || true' EXIT
pixels() {
    convert shot.png -fill black +opaque "$1" -fill white -opaque "$1" \
        -format '%[fx:round(mean*w*h)]' info:
}
# The formula is drawn on a white rectangle 420 pixels wide, wider than any white
# the window has of its own.
formulaShown() {
    convert shot.png ppm:- | python3 -c '
import sys
data = sys.stdin.buffer.read()
header, width, height, depth, pixels = data.split(maxsplit=4)
rowBytes = int(width) * 3
white = b"\xff" * (420 * 3)
rows = (pixels[y * rowBytes:(y + 1) * rowBytes] for y in range(int(height)))
sys.exit(0 if any(white in row for row in rows) else 1)'
}
for _ in $(seq 300); do
    window=$(xwininfo -root -tree | awk '/"quva-explorer"/ {print $1; exit}')
    if [[ -n "$window" ]] && import -window root shot.png 2>/dev/null &&
        (($(pixels '#d8352a') > 300)) && formulaShown; then
        [[ "$(xprop -id "$window" _NET_WM_ICON)" =~ Icon\ \([0-9]+\ x\ [0-9]+\) ]] ||
            { echo "the window has no icon" >&2; exit 1; }
        exit 0
    fi
    sleep 0.2
done
echo "the window did not show its pictures" >&2
exit 1
WINDOW
# The server picks a free display itself and names it once it accepts connections.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>display 2>xvfb.err &
pids+=($!)
waitFor 300 test -s display || fail "Xvfb did not start: $(cat xvfb.err)"
DISPLAY=":$(head -n1 display)" bash window.sh "$root" || fail "window pictures"

# The programs wrote nothing beside themselves.
[[ "$(cd "$root" && find . | sort)" == "$rootFiles" ]] || fail "files appeared in the package's root"
echo "package $package checked"
