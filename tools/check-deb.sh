#!/usr/bin/env bash
# check-deb.sh DEB: the built package as Debian's tools and a user see it, without touching this
# machine's packages: lintian (no error or warning), appstreamcli and desktop-file-validate on the
# files it ships, then an install into a throw-away root (dpkg --root with an empty admin folder):
# every file where Debian expects it, vexa-record --help running from there, the man page listing
# every option --help names, and after the purge nothing left behind. No network. CI runs it after
# `make package` (.ci/run).
set -euo pipefail
deb=${1:?usage: check-deb.sh DEB}
deb=$(realpath "$deb")
root=$(mktemp -d /tmp/vexa-deb-root.XXXXXX)
trap 'rm -rf "$root"' EXIT
fail() { echo "check-deb: $*" >&2; exit 1; }

# Lintian refuses nothing as root but says it is not recommended; as nobody it reads a copy.
lint_copy="$root.deb"
cp "$deb" "$lint_copy" && chmod 644 "$lint_copy"
trap 'rm -rf "$root" "$lint_copy"' EXIT
if [ "$(id -u)" -eq 0 ]; then
  (cd / && setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=/tmp \
    lintian --fail-on error,warning "$lint_copy") || fail "lintian reports errors or warnings"
else
  lintian --fail-on error,warning "$lint_copy" || fail "lintian reports errors or warnings"
fi

admin="$root/var/lib/dpkg"
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
: >"$admin/status"
: >"$admin/available"
# The dependencies are this machine's (the throw-away root has none installed): dpkg is told to go
# on without them, and its complaints are shown only when something fails.
dpkg_log="$root.dpkg.log"
trap 'rm -rf "$root" "$lint_copy" "$dpkg_log"' EXIT
dpkg_root() {
  dpkg --root="$root" --log=/dev/null --force-depends --force-not-root "$@" >"$dpkg_log" 2>&1 ||
    { cat "$dpkg_log" >&2; fail "dpkg $* failed"; }
}
dpkg_root --install "$deb"

# Where Debian expects each file; nothing else.
dpkg_root -L vexarecorder
listed=$(cat "$dpkg_log")
[ "$(grep -c . <<<"$listed")" -gt 10 ] || fail "dpkg lists too few files: $listed"
while read -r path; do
  [ -d "$root$path" ] && continue
  case $path in
    /usr/bin/VexaRecorder | /usr/bin/vexa-record) ;;
    /usr/share/applications/vexa-recorder.desktop) ;;
    /usr/share/metainfo/*.metainfo.xml) ;;
    /usr/share/icons/hicolor/*/apps/vexa-recorder.png | /usr/share/icons/hicolor/scalable/apps/vexa-recorder.svg) ;;
    /usr/share/man/man1/*.1.gz) ;;
    /usr/share/locale/*/LC_MESSAGES/*.mo) ;;
    /usr/share/doc/vexarecorder/copyright | /usr/share/doc/vexarecorder/changelog.gz) ;;
    *) fail "unexpected file in the package: $path" ;;
  esac
done <<<"$listed"
for f in usr/bin/VexaRecorder usr/bin/vexa-record usr/share/applications/vexa-recorder.desktop \
         usr/share/icons/hicolor/48x48/apps/vexa-recorder.png usr/share/icons/hicolor/scalable/apps/vexa-recorder.svg \
         usr/share/man/man1/VexaRecorder.1.gz usr/share/man/man1/vexa-record.1.gz \
         usr/share/doc/vexarecorder/copyright usr/share/doc/vexarecorder/changelog.gz; do
  [ -f "$root/$f" ] || fail "missing /$f"
done
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "no metainfo in /usr/share/metainfo"
appstreamcli validate --no-net "${metainfo[0]}" >/dev/null || fail "appstreamcli validate refuses ${metainfo[0]##*/}"
desktop-file-validate "$root/usr/share/applications/vexa-recorder.desktop" || fail "desktop-file-validate refuses the entry"
grep -qx "Exec=VexaRecorder" "$root/usr/share/applications/vexa-recorder.desktop" || fail "the entry starts no VexaRecorder"
grep -q "<launchable type=\"desktop-id\">vexa-recorder.desktop</launchable>" "${metainfo[0]}" ||
  fail "the metainfo launches another desktop entry"

# The installed programs run (libraries from this machine) and their man pages follow --help.
help=$(XDG_STATE_HOME="$root/state" "$root/usr/bin/vexa-record" --help) || fail "vexa-record --help failed"
grep -q "^usage: vexa-record" <<<"$help" || fail "vexa-record --help printed: $help"
here=$(dirname "$0")
bash "$here/../packaging/check-man-options.sh" "$root/usr/bin/vexa-record" "$root/usr/share/man/man1/vexa-record.1.gz"
bash "$here/../packaging/check-man-options.sh" "$root/usr/bin/VexaRecorder" "$root/usr/share/man/man1/VexaRecorder.1.gz"
rm -rf "$root/state"

# Removal leaves nothing but dpkg's own admin folder.
dpkg_root --purge vexarecorder
left=$(cd "$root" && find . -mindepth 1 -not -path './var' -not -path './var/lib' -not -path './var/lib/dpkg' \
  -not -path './var/lib/dpkg/*')
[ -z "$left" ] || fail "left behind after the purge: $left"
echo "check-deb: $(basename "$deb"): lintian clean, installs to /usr, runs, purges without a trace"
