#!/usr/bin/env bash
# Builds the Debian package from a build folder and installs it into a fresh, throwaway Debian 12
# root (debootstrap, minimal variant), the way a user installs it: apt-get install ./the.deb.
# Checks that apt resolves every dependency, that the programs start from PATH, and that the
# launcher entry, icon, metadata and manual pages are where the desktop looks for them.
# Usage: scripts/package-test.sh [BUILD_DIR]   (default: build). Needs root (debootstrap, chroot).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mirror=${ORQ_DEBIAN_MIRROR:-http://deb.debian.org/debian}

if [ "$(id -u)" -ne 0 ]; then
  echo "package-test: needs root for debootstrap and chroot; skipped"
  exit 0
fi
command -v debootstrap >/dev/null || { echo "package-test: debootstrap missing"; exit 1; }

# What cmake --install puts under a prefix, and that the desktop's own validators accept it.
staging=$(mktemp -d -t orq-install.XXXXXX)
cmake --install "$build" --prefix "$staging" >/dev/null
desktop-file-validate "$staging/share/applications/com.tarvik.editor.desktop"
appstreamcli validate --no-net "$staging/share/metainfo/com.tarvik.editor.metainfo.xml" >/dev/null
# A .syx file is of the type the package defines, and the launcher entry opens that type with
# the file's path.
mime=$(mktemp -d -t orq-mime.XXXXXX)
mkdir -p "$mime/packages"
cp "$staging/share/mime/packages/com.tarvik.editor.xml" "$mime/packages/"
update-mime-database "$mime" 2>/dev/null  # (it notes that the folder is not searched)
grep -q '^50:application/x-sysex:\*\.syx$' "$mime/globs2" ||
  { echo "package-test: *.syx is not application/x-sysex"; exit 1; }
grep -q '^MimeType=application/x-sysex;$' "$staging/share/applications/com.tarvik.editor.desktop" &&
  grep -q '^Exec=orq-editor %f$' "$staging/share/applications/com.tarvik.editor.desktop" ||
  { echo "package-test: the launcher entry does not open .syx files"; exit 1; }
rm -rf "$staging" "$mime"

(cd "$build" && cpack -G DEB >/dev/null 2>&1)
deb=$(ls -t "$build"/orq-editor_*_amd64.deb | head -1)
echo "package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"

chroot_dir=$(mktemp -d -t orq-debroot.XXXXXX)
trap 'rm -rf "$chroot_dir"' EXIT
log=$build/package-test.log
debootstrap --variant=minbase bookworm "$chroot_dir" "$mirror" >"$log" 2>&1 ||
  { tail -20 "$log"; echo "package-test: debootstrap failed"; exit 1; }
cp "$deb" "$chroot_dir/tmp/"
in_root() { chroot "$chroot_dir" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
  DEBIAN_FRONTEND=noninteractive /bin/sh -c "$1"; }
in_root "apt-get update -qq && apt-get install -y -qq --no-install-recommends /tmp/$(basename "$deb")" \
  >>"$log" 2>&1 || { tail -20 "$log"; echo "package-test: apt-get install failed"; exit 1; }

fail() { echo "package-test: $*"; exit 1; }
for f in /usr/bin/orq-editor /usr/bin/orq-devsim /usr/bin/orqctl \
         /usr/share/applications/com.tarvik.editor.desktop \
         /usr/share/icons/hicolor/scalable/apps/com.tarvik.editor.svg \
         /usr/share/icons/hicolor/48x48/apps/com.tarvik.editor.png \
         /usr/share/icons/hicolor/256x256/apps/com.tarvik.editor.png \
         /usr/share/metainfo/com.tarvik.editor.metainfo.xml \
         /usr/share/mime/packages/com.tarvik.editor.xml \
         /usr/share/man/man1/orq-editor.1.gz /usr/share/man/man1/orq-devsim.1.gz \
         /usr/share/man/man1/orqctl.1.gz; do
  [ -f "$chroot_dir$f" ] || fail "$f not installed"
done
# Every library resolves, and the editor starts from PATH: without a display it says so in one
# line and ends with status 1.
in_root "ldd /usr/bin/orq-editor /usr/bin/orq-devsim /usr/bin/orqctl" | grep -q "not found" && fail "unresolved libraries"
set +e
out=$(in_root "orq-editor" 2>&1)
status=$?
set -e
[ "$status" -eq 1 ] && grep -q "no display" <<<"$out" || fail "orq-editor from PATH: status $status: $out"
in_root "orq-devsim --help" | grep -q "usage: orq-devsim" || fail "orq-devsim --help"
in_root "orqctl ir list" | grep -q "^18 " || fail "orqctl ir list"
echo "package-test: installed into a fresh Debian 12 root; programs start from PATH"
