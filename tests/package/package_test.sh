#!/usr/bin/env bash
# Checks the installed and the packaged program, each in a temporary folder that is removed
# afterwards; nothing is installed into the system.
#
#   package_test.sh install BUILD E2E_TEST   cmake --install into a temporary prefix: exactly the
#                                            expected files, the relative run path, a valid menu
#                                            entry, and the installed program reaches its prompt
#                                            and ends on Escape with status 0
#   package_test.sh deb BUILD E2E_TEST       the Debian package: its name, exactly the expected
#                                            files, its control fields, its dependencies resolve,
#                                            lintian finds no error, and the unpacked program
#                                            reaches its prompt, opens its window and ends on
#                                            Escape with status 0
#   package_test.sh zip WINDOWS_BUILD E2E_TEST
#                                            the Windows zip: exactly its three files, the version
#                                            resource and icon in boxwalk.exe, its ASLR and DEP
#                                            marks, and the unpacked program does the same
#                                            under Wine
set -euo pipefail
what=$1 build=$2 e2e_test=$3
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"

# The Windows build may be absent, which skips the zip's check (below).
[ "$what" = zip ] || [ -f "$build/CPackConfig.cmake" ] ||
    fail "$build is not a configured build; ./test.sh configures and builds build/ and build-windows/"

# The files of an installation under its prefix, sorted. MAN is the manual page's file name;
# EXTRA names files that only the Debian package has.
expected_files() {
    local man=$1
    shift
    printf '%s\n' bin/boxwalk lib/boxwalk/libboxwalk_platform.so \
        share/applications/org.boxwalk.boxwalk.desktop \
        share/metainfo/org.boxwalk.boxwalk.metainfo.xml \
        share/icons/hicolor/48x48/apps/boxwalk.png \
        share/icons/hicolor/128x128/apps/boxwalk.png \
        share/icons/hicolor/256x256/apps/boxwalk.png \
        "share/man/man6/$man" \
        share/doc/boxwalk/README.md share/doc/boxwalk/LICENSE share/doc/boxwalk/CHANGELOG.md "$@" |
        LC_ALL=C sort
}

case $what in
install)
    need desktop-file-validate desktop-file-utils
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
        { cat "$work/install.log"; fail "cmake --install failed"; }
    same_listing install "$(expected_files boxwalk.6)" \
        "$(cd "$prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort)"
    [ -x "$prefix/bin/boxwalk" ] || fail "bin/boxwalk is not executable"
    # The run path is relative to the program, so the tree works wherever it is.
    runpath=$(readelf -d "$prefix/bin/boxwalk" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    # shellcheck disable=SC2016 # the run path holds a literal $ORIGIN
    [ "$runpath" = '$ORIGIN/../lib/boxwalk' ] || fail "run path is '$runpath'"
    desktop-file-validate "$prefix/share/applications/org.boxwalk.boxwalk.desktop" ||
        fail "the menu entry does not validate"
    for side in 48 128 256; do
        size=$(identify -format '%wx%h' "$prefix/share/icons/hicolor/${side}x$side/apps/boxwalk.png")
        [ "$size" = "${side}x$side" ] || fail "the ${side}x$side icon is $size"
    done
    # Moved away from where it was installed, the tree still works.
    mv "$prefix" "$work/moved"
    found=$(ldd "$work/moved/bin/boxwalk" | sed -n 's/.*libboxwalk_platform\.so => \(\S*\) .*/\1/p')
    [ -n "$found" ] && [ "$(realpath "$found")" = "$work/moved/lib/boxwalk/libboxwalk_platform.so" ] ||
        fail "the moved program does not find its platform library next to it, but at '$found'"
    run_launch --program="$work/moved/bin/boxwalk"
    ;;
deb)
    need lintian lintian
    need dpkg-deb dpkg
    deb=$(make_deb "$build")

    echo "--- dpkg-deb -I"
    dpkg-deb -I "$deb"
    echo "--- dpkg-deb -c"
    dpkg-deb -c "$deb"
    same_listing deb \
        "$(expected_files boxwalk.6.gz share/doc/boxwalk/copyright share/doc/boxwalk/changelog.gz)" \
        "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./usr/||' | LC_ALL=C sort)"
    # Everything belongs to root and nobody but root may write.
    if dpkg-deb -c "$deb" | awk '$2 != "root/root" || $1 ~ /^.....w|^........w/' | grep .; then
        fail "files above have the wrong owner or are writable by others"
    fi

    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = boxwalk ] && [ "$(field Version)" = $version ] &&
        [ "$(field Architecture)" = amd64 ] || fail "wrong package name, version or architecture"
    [ -n "$(field Maintainer)" ] && [ -n "$(field Section)" ] || fail "no maintainer or section"
    depends=$(field Depends)
    for needed in fonts-comic-neue libsdl2-2.0-0 libfontconfig1 libfreetype6 libc6; do
        [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
    done

    # Debian 12 can install it: every dependency resolves (a simulation; nothing changes).
    apt-get install --simulate "$deb" >"$work/apt.log" 2>&1 ||
        { cat "$work/apt.log"; fail "apt-get cannot resolve the package's dependencies"; }
    grep -q '^Inst boxwalk ' "$work/apt.log" || { cat "$work/apt.log"; fail "apt-get would not install boxwalk"; }

    echo "--- lintian"
    lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$work/lintian.log" || true
    if grep -q '^E:' "$work/lintian.log"; then
        fail "lintian reports errors"
    fi

    dpkg-deb -x "$deb" "$work/root"
    run_launch --program="$work/root/usr/bin/boxwalk"
    ;;
zip)
    need wine wine
    need x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64
    need_windows_build "$build"
    cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work/out" >"$work/cpack.log" ||
        { cat "$work/cpack.log"; fail "cpack failed"; }
    name=boxwalk-$version-win64
    zip=$work/out/$name.zip
    [ -f "$zip" ] || fail "no $name.zip; made: $(ls "$work/out")"
    same_listing zip "$(printf '%s\n' "$name/LICENSE.txt" "$name/README.md" "$name/boxwalk.exe")" \
        "$(cmake -E chdir "$work/out" cmake -E tar tf "$name.zip" | grep -v '/$' | LC_ALL=C sort)"
    mkdir "$work/unpacked"
    (cd "$work/unpacked" && cmake -E tar xf "$zip")
    exe=$work/unpacked/$name/boxwalk.exe

    # The resources read back from the program: the version, both as numbers and as text, its
    # names, and an icon group.
    x86_64-w64-mingw32-windres -J coff -i "$exe" -O rc -o "$work/resources.rc" ||
        fail "cannot read the resources of boxwalk.exe"
    cat "$work/resources.rc"
    for expected in 'FILEVERSION 1, 0, 0, 0' 'PRODUCTVERSION 1, 0, 0, 0' \
        'VALUE "FileVersion", "1.0.0"' 'VALUE "ProductVersion", "1.0.0"' \
        'VALUE "ProductName", "Boxwalk"' 'VALUE "LegalCopyright", "Copyright (c) 2026 The Boxwalk authors"' \
        'RT_GROUP_ICON' 'Has 5 elements'; do
        grep -qF "$expected" "$work/resources.rc" || fail "the resources lack: $expected"
    done

    # Address space layout randomisation with 64-bit entropy, which needs the relocations kept,
    # and data execution prevention.
    x86_64-w64-mingw32-objdump -p "$exe" | sed -n '/^DllCharacteristics/,/^SizeOf/p' | sed '$d' |
        tee "$work/characteristics"
    for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
        grep -qw "$flag" "$work/characteristics" || fail "boxwalk.exe is not marked $flag"
    done
    x86_64-w64-mingw32-objdump -h "$exe" | grep -q ' \.reloc ' || fail "boxwalk.exe has no relocations"

    run_launch --wine="$exe"
    ;;
*)
    fail "unknown check $what"
    ;;
esac
echo "$what: passed"
