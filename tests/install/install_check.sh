#!/bin/sh
# What `cmake --install` and `cpack -G DEB` deliver, checked as a desktop sees it.
#   install_check.sh tree BUILD      installs into a scratch prefix: the files, the desktop
#                                    entry (desktop-file-validate), the manual pages (man
#                                    --warnings) and velora's bash completion
#   install_check.sh package BUILD   builds the .deb: its contents (dpkg-deb -c), dependencies
#                                    on run-time libraries only, lintian without errors; then
#                                    dpkg installs it into a scratch root and the installed
#                                    viewer starts on a virtual display (77 without Xvfb)
mode=$1
build=$(cd "$2" && pwd)
samples=$(cd "$(dirname "$0")/../../samples" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tessel-install.XXXXXX")
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
status=0
fail() { echo "FAILED: $*"; status=1; }

installed_files="bin/TesselImageViewer bin/velora share/applications/TesselImageViewer.desktop
share/icons/hicolor/scalable/apps/TesselImageViewer.svg share/man/man1/TesselImageViewer.1.gz
share/man/man1/velora.1.gz share/bash-completion/completions/velora share/doc/tessel/copyright
share/doc/tessel/changelog.gz"

check_tree() {
    prefix=$tmp/prefix
    cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "cmake --install"; return; }
    for f in $installed_files; do [ -e "$prefix/$f" ] || fail "not installed: $f"; done
    entry=$prefix/share/applications/TesselImageViewer.desktop
    if command -v desktop-file-validate >/dev/null 2>&1; then
        out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
        [ -z "$out" ] || fail "desktop-file-validate says: $out"
    fi
    grep -q '^MimeType=.*image/jpeg;.*image/png;' "$entry" || fail "MimeType lacks JPEG or PNG: $(grep MimeType "$entry")"
    grep -q '^MimeType=.*application/' "$entry" && fail "MimeType claims a non-image type"
    grep -q '^Exec=TesselImageViewer %F$' "$entry" || fail "Exec line"
    for page in TesselImageViewer velora; do
        warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "man $page: $warnings"
    done
    if [ -f /usr/share/bash-completion/bash_completion ]; then
        words=$(bash -c '. /usr/share/bash-completion/bash_completion; . "$1"
            COMP_WORDS=(velora sc); COMP_CWORD=1; COMP_LINE="velora sc"; COMP_POINT=9; _velora
            echo "${COMPREPLY[*]}"
            COMP_WORDS=(velora scan --sort d); COMP_CWORD=3; COMP_LINE="velora scan --sort d"; COMP_POINT=20; _velora
            echo "${COMPREPLY[*]}"' - "$prefix/share/bash-completion/completions/velora")
        [ "$words" = "scan
date-taken" ] || fail "completion offers: $words"
    fi
    "$prefix/bin/velora" --help >/dev/null || fail "installed velora does not run"
}

check_package() {
    command -v dpkg-shlibdeps >/dev/null 2>&1 || { echo "skipped: no dpkg-shlibdeps"; exit 77; }
    (cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/package") >"$tmp/cpack.log" 2>&1 ||
        { cat "$tmp/cpack.log"; fail "cpack"; return; }
    deb=$(ls "$tmp"/package/tessel_*.deb 2>/dev/null | head -1)
    [ -n "$deb" ] || { fail "no package made"; return; }
    contents=$(dpkg-deb -c "$deb")
    for f in $installed_files; do echo "$contents" | grep -q " \./usr/$f\$" || fail "not in the package: usr/$f"; done
    echo "$contents" | grep -q '/usr/local/' && fail "the package installs into /usr/local"
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    [ -n "$depends" ] || fail "no dependencies found"
    # Each one a package that ships a shared library (as installed here), none for development.
    echo "$depends" | tr ',|' '\n\n' | sed 's/^ *//; s/[ (].*//' | while read -r dep; do
        case $dep in *-dev) echo "FAILED: $dep is a development package"; exit 1 ;; esac
        dpkg -L "$dep" 2>/dev/null | grep -q '/lib/.*\.so' || { echo "FAILED: $dep ships no shared library"; exit 1; }
    done || status=1
    if command -v lintian >/dev/null 2>&1; then
        lintian --fail-on error "$deb" >"$tmp/lintian.log" 2>&1 || { cat "$tmp/lintian.log"; fail "lintian reports errors"; }
        grep '^E:' "$tmp/lintian.log"
    fi
    # Installed by dpkg itself into a scratch root of its own.
    root=$tmp/root
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
    touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
    dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless -i "$deb" >"$tmp/dpkg.log" 2>&1 ||
        { cat "$tmp/dpkg.log"; fail "dpkg -i into a scratch root"; return; }
    dpkg --root="$root" -s tessel | grep -q '^Status: install ok installed' || fail "dpkg does not list tessel as installed"
    [ -x "$root/usr/bin/TesselImageViewer" ] || { fail "no viewer in the scratch root"; return; }

    command -v Xvfb >/dev/null 2>&1 || { echo "skipped: the installed viewer's start needs Xvfb"; [ $status = 0 ] && exit 77; return; }
    export DISPLAY=:$((60 + $$ % 30))
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids="$! $pids"
    sleep 1
    unset QT_QPA_PLATFORM
    # Its settings and thumbnails in the scratch folder; libxkbcommon's unterminated keymap name
    # is not ours (as for the other checks on a virtual display).
    export XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data"
    [ -n "$ASAN_OPTIONS" ] && export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
    TESSEL_SCREENSHOT=$tmp/shot.png timeout 60 "$root/usr/bin/TesselImageViewer" "$samples" "*.*" >"$tmp/viewer.log" 2>&1 ||
        { cat "$tmp/viewer.log"; fail "the installed viewer did not run"; }
    [ -s "$tmp/shot.png" ] || fail "the installed viewer left no screenshot"
    [ -n "$INSTALL_CHECK_SHOTS" ] && cp "$tmp/shot.png" "$INSTALL_CHECK_SHOTS/installed_viewer.png"
}

case $mode in
    tree) check_tree ;;
    package) check_package ;;
    *) echo "usage: install_check.sh tree|package BUILD"; exit 2 ;;
esac
[ $status = 0 ] && echo "passed"
exit $status
