#!/usr/bin/env bash
# Installs the build into a staging folder and runs the installed programs from there, checks the
# desktop entry and the metainfo, and builds the Debian package.
# usage: check_install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
usr="$stage/usr"

"$usr/bin/kalmora-cli" --version | grep -q '^kalmora-cli [0-9]' || fail "kalmora-cli --version"
"$usr/bin/kalmora-cli" --help | grep -q '^Aufruf: kalmora-cli' || fail "kalmora-cli --help"
home=$(dirname "$(readlink -f "$usr/bin/kalmora")")
[ -f "$home/hilfe/index.html" ] || fail "no help pages beside the installed program ($home)"

# The window's batch mode, offscreen: compare by age, synchronise, end.
mkdir -p "$stage/L" "$stage/R"
echo neu > "$stage/L/a"
echo alt > "$stage/R/a"
touch -d '2020-01-01 12:00' "$stage/R/a"
printf '[Pfade]\nLinks=%s\nRechts=%s\n[AutoStart]\nAltersvergleich=1\nAbgleich=1\nEnde=1\n' \
    "$stage/L" "$stage/R" > "$stage/steuer.ini"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$stage/config" timeout 60 "$usr/bin/kalmora" "$stage/steuer.ini" \
    || fail "the installed kalmora's batch run"
[ "$(cat "$stage/R/a")" = neu ] || fail "the batch run did not synchronise"

desktop-file-validate "$usr/share/applications/kalmora.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$usr/share/metainfo/example.norvane.Kalmora.metainfo.xml" >/dev/null \
    || fail "metainfo"
[ -f "$usr/share/icons/hicolor/scalable/apps/kalmora.svg" ] || fail "icon"
for page in kalmora kalmora-cli; do
    man -l "$usr/share/man/man1/$page.1.gz" >/dev/null 2>&1 || [ ! -x /usr/bin/man ] || fail "man page $page"
done
[ -f "$usr/share/doc/kalmora/copyright" ] && [ -f "$usr/share/doc/kalmora/changelog.gz" ] || fail "copyright, changelog"

rm -f "$build"/kalmora_*.deb
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack"
deb=$(ls "$build"/kalmora_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6core6 qt6-qpa-plugins qt6-translations-l10n libqt6svg6; do
    grep -q "$package" <<<"$depends" || fail "the package does not depend on $package ($depends)"
done
dpkg-deb -f "$deb" Recommends | grep -q qt6-gtk-platformtheme || fail "the package does not recommend qt6-gtk-platformtheme"
# Debian's own checks of a package, where they are installed: no error and no warning.
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" > "$stage/lintian" 2>&1 || { cat "$stage/lintian" >&2; fail "lintian"; }
fi
dpkg-deb -c "$deb" > "$stage/contents"
grep -q '\./usr/lib/kalmora/hilfe/index\.html' "$stage/contents" || fail "help pages missing from the package"
grep -q '\./usr/bin/kalmora -> \.\./lib/kalmora/kalmora' "$stage/contents" || fail "no kalmora on the PATH"
echo "installation checks: 1 passed, 0 failed"
