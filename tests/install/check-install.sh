#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and checks what a distribution checks: the
# desktop entry, the AppStream data and the xscreensaver dialog description are valid, the
# MIME type recognises settings files by name and by content, the man pages format without
# warnings, and the installed programs run from there (the saver, its xscreensaver hack link,
# quovis-tool, the launchers) and find what they need beside them.
#
#   tests/install/check-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
trap 'echo "FAILED: line $LINENO: $BASH_COMMAND" >&2' ERR
build=$1
src=$2
prefix="$(mktemp -d "${TMPDIR:-/tmp}/quovis-install.XXXXXX")"
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || {
  cat "$prefix.log" >&2
  rm -f "$prefix.log"
  exit 1
}
rm -f "$prefix.log"

share="$prefix/share"
desktop="$share/applications/software.ferrowick.Quovis.desktop"
metainfo="$share/metainfo/software.ferrowick.Quovis.metainfo.xml"
hackxml="$share/xscreensaver/config/quovis.xml"
for f in bin/quovis bin/quovis-tool bin/quovis-run bin/quovis-settings \
  share/quovis/help/index.html share/mime/packages/quovis.xml \
  share/icons/hicolor/scalable/apps/quovis.svg share/icons/hicolor/48x48/apps/quovis.png \
  share/icons/hicolor/256x256/apps/quovis.png share/man/man6/quovis.6.gz \
  share/man/man1/quovis-tool.1.gz share/man/man1/quovis-run.1.gz \
  share/man/man1/quovis-settings.1.gz share/doc/quovis/USING.md share/doc/quovis/copyright \
  bin/quovis-library-server share/man/man8/quovis-library-server.8.gz \
  share/doc/quovis/library-server.md; do
  [ -s "$prefix/$f" ] || fail "not installed: $f"
done
for f in "$desktop" "$metainfo" "$hackxml"; do [ -s "$f" ] || fail "not installed: $f"; done

# --- validators ---------------------------------------------------------------------------
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate has remarks: $out"
# The screen-saver theme's category is the one MATE and Xfce look for, not a registered main
# category: that hint (and only that) is expected.
theme="$share/applications/screensavers/quovis.desktop"
out=$(desktop-file-validate "$theme" 2>&1) || fail "desktop-file-validate: $out"
out=$(printf '%s\n' "$out" | grep -v 'hint: value "Screensaver;" for key "Categories"' || true)
[ -z "$out" ] || fail "desktop-file-validate has remarks on the theme: $out"
grep -q '^Exec=quovis --root$' "$theme" || fail "the screen-saver theme does not run quovis --root"
out=$(appstreamcli validate --no-net --explain "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
out=$(appstreamcli validate-tree --no-net "$prefix" 2>&1) || fail "appstreamcli validate-tree: $out"
# xscreensaver ships no DTD on Debian; ours describes the format, and its own hacks' files
# must pass it too, or the grammar would be wrong rather than our file.
dtd="$src/tests/install/xscreensaver-hack.dtd"
out=$(xmllint --noout --dtdvalid "$dtd" "$hackxml" 2>&1) || fail "xmllint quovis.xml: $out"
for f in /usr/share/xscreensaver/config/*.xml; do
  [ -f "$f" ] || continue
  xmllint --noout --dtdvalid "$dtd" "$f" >/dev/null 2>&1 || fail "the DTD rejects xscreensaver's own $f"
done

# --- the MIME type --------------------------------------------------------------------------
# A private database with only our type in it: the content is guessed from it alone.
mimehome="$prefix/mimehome"
mkdir -p "$mimehome/mime/packages"
cp "$share/mime/packages/quovis.xml" "$mimehome/mime/packages/"
out=$(update-mime-database "$mimehome/mime" 2>&1) || fail "update-mime-database: $out"
samples="$prefix/samples"
mkdir -p "$samples"
printf '\xff\xfe[\x00Q\x00' >"$samples/by-content"
printf 'plain text\n' >"$samples/named.oru"
printf '\xff\xfeh\x00i\x00' >"$samples/other-utf16"
type_of() {
  local info
  info=$(XDG_DATA_HOME="$mimehome" XDG_DATA_DIRS="$mimehome:/usr/share" \
    gio info -a standard::content-type "$1" 2>&1) || echo "(gio: $info)"
  sed -n 's/.*standard::content-type: //p' <<<"$info"
}
for f in by-content named.oru; do
  t=$(type_of "$samples/$f")
  [ "$t" = application/x-quovis-settings ] || fail "$f is seen as \"$t\""
done
t=$(type_of "$samples/other-utf16")
[ "$t" != application/x-quovis-settings ] || fail "any UTF-16 text is taken for a settings file"
# Double-clicking a settings file: the desktop's default handler for the type is our entry.
mkdir -p "$mimehome/applications"
cp "$desktop" "$mimehome/applications/"
update-desktop-database "$mimehome/applications" >/dev/null 2>&1 || fail "update-desktop-database"
handler=$(PATH="$prefix/bin:/usr/bin:/bin" XDG_DATA_HOME="$mimehome" XDG_DATA_DIRS="$mimehome:/usr/share" \
  XDG_CONFIG_HOME="$mimehome/config" gio mime application/x-quovis-settings 2>&1) || true
handler=${handler%%$'\n'*}
case "$handler" in
  *": software.ferrowick.Quovis.desktop") ;;
  *) fail "settings files do not open with the configuration window: $handler" ;;
esac

# --- man pages --------------------------------------------------------------------------------
for page in "$share"/man/man*/*.gz; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) ||
    fail "man $page failed"
  [ -z "$out" ] || fail "man $page: $out"
done

# --- the installed programs -----------------------------------------------------------------
home="$prefix/home"
mkdir -p "$home"
run() { env -i HOME="$home" XDG_CONFIG_HOME="$home/config" PATH=/usr/bin:/bin "$@"; }
version=$(run "$prefix/bin/quovis" --version) || fail "quovis --version failed"
[ "$version" = "Quovis 2.1.4051" ] || fail "quovis --version says \"$version\""
hack="$prefix/libexec/xscreensaver/quovis"
[ -L "$hack" ] || fail "no xscreensaver hack link"
[ "$(readlink -f "$hack")" = "$(readlink -f "$prefix/bin/quovis")" ] || fail "the hack link points elsewhere"
[ "$(run "$hack" --version)" = "Quovis 2.1.4051" ] || fail "the hack does not run"
builtins=$(run "$prefix/bin/quovis-tool" preset builtin) || fail "quovis-tool preset builtin failed"
[ "$(printf '%s\n' "$builtins" | grep -c .)" -ge 73 ] || fail "quovis-tool lists too few built-ins"
first=${builtins%%$'\n'*}
first=$(sed 's/^ *[0-9]* *//' <<<"$first")
preset=$(run "$prefix/bin/quovis-tool" preset builtin "$first") || preset=""
[[ "$preset" == *,* ]] || fail "quovis-tool does not print the built-in \"$first\""
for launcher in quovis-run quovis-settings; do
  usage=$(run "$prefix/bin/$launcher" --help) || usage=""
  [[ "$usage" == *"Usage: $launcher"* ]] || fail "$launcher --help"
done
server=$(run "$prefix/bin/quovis-library-server" --version) || server=""
[ "$server" = "quovis-library-server 2.1.4051" ] || fail "quovis-library-server --version says \"$server\""
# The configuration window's Help button looks beside the program for the help pages.
[ -f "$prefix/bin/../share/quovis/help/index.html" ] || fail "help pages not beside the program"
# Nothing the build tree would hold: no link or search path back into it.
dynamic=$(readelf -d "$prefix"/bin/* 2>&1) || fail "readelf: $dynamic"
if grep -qE 'RUNPATH|RPATH' <<<"$dynamic"; then
  fail "an installed program keeps a search path of the build"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures checks failed" >&2
  exit 1
fi
echo "the installed tree passed every check"
