#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr and checks the tree a desktop sees:
# files in place, desktop entry, AppStream metadata, MIME type, icons and manual pages valid,
# every command-line option documented, and the installed programs start.
# usage: install_tree_test.sh BUILD_DIR
set -uo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! DESTDIR="$root" cmake --install "$build" --prefix /usr >"$root.log" 2>&1; then
    cat "$root.log"; rm -f "$root.log"; echo "FAIL: cmake --install"; exit 1
fi
rm -f "$root.log"
usr=$root/usr
share=$usr/share
id=org.talvex.Talvex

for f in bin/talvex bin/talvex-sim bin/talvex-bridge lib/systemd/system/talvex-bridge@.service \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/mime/packages/$id.xml share/icons/hicolor/scalable/apps/$id.svg \
         share/man/man1/talvex.1.gz share/man/man1/talvex-sim.1.gz share/man/man1/talvex-bridge.1.gz \
         share/talvex/help/com-ports.html share/talvex/panels/demo.json \
         share/talvex/panels/greenhouse.gif share/doc/talvex/README.md \
         lib/$(gcc -dumpmachine)/wireshark/plugins/talvex.lua; do
    [ -f "$usr/$f" ] || fail "missing /usr/$f"
done
# Only the live-system install refreshes caches; a staged tree must hold nothing generated.
[ ! -e "$share/mime/mime.cache" ] || fail "MIME cache written under DESTDIR"

for size in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/$id.png
    # PNG width and height: big-endian words at bytes 16 and 20.
    dims=$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x${size}" ] || fail "$png is '$dims', not ${size}x${size}"
done

desktop=$share/applications/$id.desktop
# It exits 0 on hints; any output at all is taken as a fault.
out=$(desktop-file-validate "$desktop" 2>&1)
[ $? -eq 0 ] && [ -z "$out" ] || fail "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" 2>&1) ||
    fail "appstreamcli validate: $out"

# The MIME type must compile, and the desktop entry must claim the type it defines.
mime=$root/mime
mkdir -p "$mime/packages" && cp "$share/mime/packages/$id.xml" "$mime/packages/"
out=$(update-mime-database "$mime" 2>&1) || fail "update-mime-database: $out"
type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$share/mime/packages/$id.xml")
grep -q "^$type:\*\.tvx$" "$mime/globs" || fail "no *.tvx glob for '$type'"
grep -q "^MimeType=.*$type;" "$desktop" || fail "desktop entry lacks MimeType $type"

for page in talvex talvex-sim talvex-bridge; do
    man=$share/man/man1/$page.1.gz
    err=$(MANWIDTH=80 man --warnings -l "$man" 2>&1 >/dev/null)
    [ -z "$err" ] || fail "man $page.1: $err"
    # Every long option the program lists must be in its manual page.
    text=$(zcat "$man")
    help=$("$usr/bin/$page" --help 2>/dev/null) || fail "$page --help failed"
    for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
        grep -qF -- "${option//-/\\-}" <<<"$text" || fail "$page.1 does not document $option"
    done
done

version=$("$usr/bin/talvex" --version 2>/dev/null) || fail "talvex --version failed"
[[ $version == talvex\ 3.* ]] || fail "talvex --version printed '$version'"

[ $failures -eq 0 ] && echo "installed tree OK" || exit 1
