#!/bin/sh
# Checks the .deb package in the given build folder as Debian would: lintian
# finds no error and no warning, the desktop entry and the metainfo validate,
# every manual page renders and names its program, and the icons are there.
set -eu
build=${1:-build}
deb=$(ls "$build"/bc245xlt_*.deb)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "== lintian"
lintian --pedantic --display-info --fail-on error,warning "$deb"

dpkg-deb -x "$deb" "$scratch"
echo "== desktop entry and metainfo"
desktop-file-validate "$scratch"/usr/share/applications/bc245xlt.desktop
appstreamcli validate --no-net "$scratch"/usr/share/metainfo/*.metainfo.xml

echo "== manual pages"
for program in bc245xlt bc245xlt-cli bc245xlt-virtual-receiver; do
    test -x "$scratch/usr/bin/$program"
    page="$scratch/usr/share/man/man1/$program.1.gz"
    lexgrog "$page"
    warnings=$(MANWIDTH=80 man -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "$page: $warnings" >&2
        exit 1
    fi
done

echo "== icons and documents"
for size in 16x16 32x32 48x48 64x64 128x128 256x256; do
    test -s "$scratch/usr/share/icons/hicolor/$size/apps/bc245xlt.png"
done
test -s "$scratch/usr/share/icons/hicolor/scalable/apps/bc245xlt.svg"
for document in copyright changelog.gz 99-bc245xlt.rules; do
    test -s "$scratch/usr/share/doc/bc245xlt/$document"
done
echo "== shell completion"
bash -n "$scratch/usr/share/bash-completion/completions/bc245xlt-cli"
test -s "$scratch/usr/share/zsh/vendor-completions/_bc245xlt-cli"
if command -v zsh >/dev/null; then
    zsh -n "$scratch/usr/share/zsh/vendor-completions/_bc245xlt-cli"
fi
echo "package checks passed"
