#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package and checks it with the tools Debian itself uses. One check per
# call, so that a missing tool skips (status 77) only its own check.
#   check_package.sh build CPACK_CONFIG OUT VERSION   make OUT/*.deb, unpack it to OUT/root
#   check_package.sh lintian|desktop|appstream OUT
#   check_package.sh manpages OUT VERSION
set -u
mode=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../blackbox/testlib.sh"

skip_without() { # PROGRAM PACKAGE
    command -v "$1" >/dev/null && return
    echo "check_package.sh: SKIPPED, $1 is not installed (Debian package $2; scripts/install-deps test)"
    exit 77
}

# The one package in OUT, as the build check left it.
find_deb() {
    deb=$(ls "$1"/quillbore-ssh_*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || { echo "FAIL: no package in $1 (the package.build check makes it)"; exit 1; }
}

# Every file the package holds, with its mode.
expected_files() {
    local arch_png size
    printf '%s\n' \
        '-rw-r--r-- ./etc/pam.d/quillbore-ssh' \
        '-rwxr-xr-x ./usr/bin/keyferry' \
        '-rwxr-xr-x ./usr/bin/quillbore-askpass' \
        '-rwxr-xr-x ./usr/bin/quillbore-ssh' \
        '-rw-r--r-- ./usr/share/applications/quillbore-ssh.desktop' \
        '-rw-r--r-- ./usr/share/doc/quillbore-ssh/changelog.Debian.gz' \
        '-rw-r--r-- ./usr/share/doc/quillbore-ssh/copyright' \
        '-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/quillbore-ssh.svg' \
        '-rw-r--r-- ./usr/share/lintian/overrides/quillbore-ssh' \
        '-rw-r--r-- ./usr/share/man/man1/keyferry.1.gz' \
        '-rw-r--r-- ./usr/share/man/man1/quillbore-askpass.1.gz' \
        '-rw-r--r-- ./usr/share/man/man1/quillbore-ssh.1.gz' \
        '-rw-r--r-- ./usr/share/metainfo/example.quillbore.QuillboreSSH.metainfo.xml'
    for size in 16 22 24 32 48 64 128 256; do
        printf -- '-rw-r--r-- ./usr/share/icons/hicolor/%sx%s/apps/quillbore-ssh.png\n' "$size" "$size"
    done
}

case $mode in
build)
    config=$2 out=$3 version=$4
    skip_without dpkg-shlibdeps dpkg-dev
    rm -rf "$out" && mkdir -p "$out"
    if ! cpack -G DEB --config "$config" -B "$out" >"$out/cpack.log" 2>&1; then
        cat "$out/cpack.log"
        echo "FAIL: cpack"
        exit 1
    fi
    arch=$(dpkg --print-architecture)
    deb="$out/quillbore-ssh_${version}-1_${arch}.deb"
    expect "named after the version and architecture" test -f "$deb"
    [ -f "$deb" ] || find_deb "$out"

    expect_eq "package name" "quillbore-ssh" "$(dpkg-deb -f "$deb" Package)"
    expect_eq "package version" "${version}-1" "$(dpkg-deb -f "$deb" Version)"
    depends=$(dpkg-deb -f "$deb" Depends)
    for needed in openssh-client qt6-qpa-plugins libqt6widgets6 libqt6svg6 libpam0g libc6; do
        expect "depends on $needed" grep -qE "(^|, )$needed( |,|$)" <<<"$depends"
    done
    for test_only in openssh-server gtest googletest wrapper xvfb lintian clang; do
        expect "no test-only dependency like $test_only" test "${depends/$test_only/}" = "$depends"
    done
    dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles >"$out/conffiles" 2>/dev/null
    expect_file "the PAM file is the one conffile" "$out/conffiles" $'/etc/pam.d/quillbore-ssh\n'

    # Owners, modes and the exact file list; directories 0755.
    dpkg-deb -c "$deb" >"$out/contents"
    expect "every entry belongs to root" test -z "$(awk '$2 != "root/root"' "$out/contents")"
    expect "directories are 0755" test -z "$(awk '/^d/ && $1 != "drwxr-xr-x"' "$out/contents")"
    awk '!/^d/ {print $1, $6}' "$out/contents" | sort >"$out/files"
    expect_file "files and modes" "$out/files" "$(expected_files | sort)"$'\n'

    dpkg-deb -x "$deb" "$out/root"
    for program in quillbore-ssh quillbore-askpass keyferry; do
        expect "$program is stripped" sh -c "! readelf -S '$out/root/usr/bin/$program' | grep -q '\.symtab'"
    done
    # The packaged application answers without a display, with the build's version.
    printed=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$out/root/usr/bin/quillbore-ssh" --version </dev/null)
    expect_eq "packaged quillbore-ssh --version" "QuillboreSSH $version" "$printed"
    expect "the changelog names the version" sh -c \
        "gzip -dc '$out/root/usr/share/doc/quillbore-ssh/changelog.Debian.gz' | head -n 1 | grep -qF '(${version}-1)'"
    ;;
lintian)
    skip_without lintian lintian
    find_deb "$2"
    # Errors and warnings fail; the overrides shipped in the package say why they are fine.
    lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'running with root privileges'
    expect "lintian finds no error or warning" test "${PIPESTATUS[0]}" -eq 0
    ;;
desktop)
    skip_without desktop-file-validate desktop-file-utils
    find_deb "$2"
    entry="$2/root/usr/share/applications/quillbore-ssh.desktop"
    report=$(desktop-file-validate "$entry" 2>&1)
    status=$?
    [ -n "$report" ] && printf '%s\n' "$report"
    expect "desktop-file-validate passes without a remark" test $status -eq 0 -a -z "$report"
    expect "the entry starts the installed program" grep -qx 'Exec=quillbore-ssh' "$entry"
    expect "the entry's icon is installed" test -f "$2/root/usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg"
    ;;
appstream)
    skip_without appstreamcli appstream
    find_deb "$2"
    metainfo=$(ls "$2"/root/usr/share/metainfo/*.metainfo.xml)
    # --no-net: the screenshot's address is not fetched.
    appstreamcli validate --no-net "$metainfo"
    expect "appstreamcli validate passes" test $? -eq 0
    expect "launches the desktop entry" grep -q '<launchable type="desktop-id">quillbore-ssh.desktop</launchable>' "$metainfo"
    expect "shows the main window" grep -q '<image>[^<]*/main-window.png</image>' "$metainfo"
    ;;
manpages)
    skip_without man man-db
    find_deb "$2"
    version=$3
    for page in quillbore-ssh quillbore-askpass keyferry; do
        file="$2/root/usr/share/man/man1/$page.1.gz"
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)
        [ -n "$warnings" ] && printf '%s\n' "$warnings"
        expect "$page.1 renders without warnings" test -z "$warnings"
        text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>/dev/null | col -b)
        for section in NAME SYNOPSIS DESCRIPTION FILES ENVIRONMENT "EXIT STATUS" "SEE ALSO"; do
            expect "$page.1 has $section" grep -qx "$section" <<<"$text"
        done
        expect "$page.1 names version $version" grep -q "QuillboreSSH $version" <<<"$text"
    done
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$2/root/usr/share/man/man1/quillbore-ssh.1.gz" 2>/dev/null | col -b)
    expect "quillbore-ssh.1 has SECURITY" grep -qx "SECURITY" <<<"$text"
    # Every option that the packaged application lists in its help is described in its page.
    options=$(LC_ALL=C MANWIDTH=80 man -l "$2/root/usr/share/man/man1/quillbore-ssh.1.gz" 2>/dev/null |
        col -b | sed -n '/^OPTIONS$/,/^[A-Z]/p')
    listed=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$2/root/usr/bin/quillbore-ssh" --help </dev/null | grep -oE -- '--[a-z][a-z-]*' | sort -u)
    expect "the help lists options" test -n "$listed"
    for option in $listed; do
        expect "quillbore-ssh.1 describes $option" grep -qE -- "(^| )$option([ ,]|$)" <<<"$options"
    done
    expect "quillbore-ssh.1 warns that the files are only scrambled" \
        grep -q "scrambled, not encrypted" <<<"$(tr -s ' \n' '  ' <<<"$text")"
    ;;
*)
    echo "check_package.sh: unknown check $mode" >&2
    exit 2
    ;;
esac
finish
