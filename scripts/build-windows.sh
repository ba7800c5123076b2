#!/bin/bash
# Cross-builds QUVA-Explorer for 64-bit Windows on Debian.
#
# Once, into a cache outside the work tree (QUVA_WINDOWS_CACHE, default
# ~/.cache/quva-windows): Qt 5 (qtbase, qtsvg) and libxlsxwriter for
# x86_64-w64-mingw32, from Debian's own source packages at the version of the
# installed Linux Qt. Qt Serial Port is not among them: the Windows program
# reaches its COM ports through its own platform layer. Every stage leaves a
# stamp holding the key of its inputs; a stage whose stamp matches is skipped, and an interrupted compile
# resumes in its kept build tree. Then the program, its tests, the portable
# zip and the NSIS installer into build-windows/ (QUVA_WINDOWS_BUILD).
#
#   scripts/build-windows.sh               cache, program, zip and installer
#   scripts/build-windows.sh --cache-only  only the cache
#   scripts/build-windows.sh --check-cache exit 0 when the Qt cache is ready, else 1
#   scripts/build-windows.sh --use-cache   the program with a ready Qt cache; never
#                                          builds Qt (exit 3 when it is not ready)
#
# Compiles run under nice -n 19 with at most two jobs (QUVA_WINDOWS_JOBS).
set -euo pipefail

repo=${QUVA_REPO:-$(cd "$(dirname "$0")/.." && pwd)}
cache=${QUVA_WINDOWS_CACHE:-$HOME/.cache/quva-windows}
build=${QUVA_WINDOWS_BUILD:-$repo/build-windows}
jobs=${QUVA_WINDOWS_JOBS:-2}
((jobs > 2)) && jobs=2
triplet=x86_64-w64-mingw32
niced=(nice -n 19)

mode=${1:-all}
case "$mode" in
all | --cache-only | --check-cache | --use-cache) ;;
*)
    echo "build-windows.sh: unknown option '$1'; accepted: --cache-only, --check-cache," \
        "--use-cache" >&2
    exit 2
    ;;
esac

log() { echo "[$(date -u +%H:%M:%S)] $*"; }

as_root() {
    if ((EUID == 0)); then "$@"; else sudo "$@"; fi
}

installed_version() {
    dpkg-query -W -f='${Version}' "$1"
}

# --- Debian packages ------------------------------------------------------

install_packages() {
    local packages=(
        g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
        nsis wine wine64 dpkg-dev cmake ninja-build make g++ zip unzip xvfb xauth
        imagemagick x11-utils ccache fonts-dejavu-core
        qtbase5-dev libqt5svg5-dev libxlsxwriter-dev
        perl python3
    )
    local missing=() package status
    for package in "${packages[@]}"; do
        status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
        [[ "$status" == "install ok installed" ]] || missing+=("$package")
    done
    ((${#missing[@]} == 0)) && return 0
    log "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    as_root apt-get update -qq
    as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# apt-get source needs deb-src entries; add them for the suites the machine
# already uses, nothing else.
enable_sources() {
    local list=/etc/apt/sources.list.d/quva-deb-src.sources
    if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    log "adding deb-src entries to $list"
    sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        as_root tee "$list" >/dev/null
    as_root apt-get update -qq
}

# --- Sources ---------------------------------------------------------------

qt_version=$(installed_version libqt5core5a)
svg_version=$(installed_version libqt5svg5)
xlsxwriter_version=$(installed_version libxlsxwriter-dev)
xlsxwriter_version=${xlsxwriter_version%+b*}

# Fetches a Debian source package at the given version into
# $cache/src/<package>-<version>/ and prints that folder.
fetch_source() {
    local package=$1 version=$2
    local dir=$cache/src/$package-$version
    if [[ ! -f $dir/.unpacked ]]; then
        rm -rf "$dir"
        mkdir -p "$dir"
        log "fetching $package $version" >&2
        if ! (cd "$dir" && apt-get source -qq "$package=$version" >"$dir.log" 2>&1); then
            grep -E '^(E|Err):' "$dir.log" >&2 || tail -5 "$dir.log" >&2
            echo "build-windows.sh: cannot fetch the Debian source of $package $version" \
                "(above); run the script again once the archive serves it" >&2
            exit 1
        fi
        touch "$dir/.unpacked"
    fi
    local tree
    tree=$(find "$dir" -mindepth 1 -maxdepth 1 -type d | head -1)
    echo "$tree"
}

# --- Stamps ----------------------------------------------------------------

key_of() { printf '%s\n' "$@" | sha256sum | cut -c1-16; }

stamp_ok() { [[ -f $1 && "$(cat "$1")" == "$2" ]]; }

# Keeps a build tree while its key matches; a changed key starts it afresh.
prepare_tree() {
    local tree=$1 key=$2
    if [[ -d $tree ]] && ! stamp_ok "$tree/.key" "$key"; then
        log "inputs changed: removing $tree"
        rm -rf "$tree"
    fi
    mkdir -p "$tree"
    echo "$key" >"$tree/.key"
}

# --- Qt ----------------------------------------------------------------------

qt_prefix=$cache/qt

qtbase_options=(
    -opensource -confirm-license -release -shared
    -xplatform win32-g++ -device-option CROSS_COMPILE=$triplet-
    -prefix "$qt_prefix"
    -nomake examples -nomake tests
    -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz
    -no-opengl -no-dbus -no-icu -no-fontconfig
    # Debian's source leaves out the bundled IAccessible2, Wintab and SQLite.
    -no-accessibility -no-feature-tabletevent -no-feature-sql
    -no-feature-concurrent
    -no-feature-printer
)

qtbase_key() { key_of qtbase "$qt_version" "${qtbase_options[@]}"; }
module_key() { key_of "$1" "$2" "$(cat "$cache/build/qtbase/.installed" 2>/dev/null)"; }

# Whether qtbase and qtsvg are installed from the current inputs.
qt_cache_ready() {
    stamp_ok "$cache/build/qtbase/.installed" "$(qtbase_key)" &&
        stamp_ok "$cache/build/qtsvg/.installed" "$(module_key qtsvg "$svg_version")"
}

build_qtbase() {
    local src key tree
    key=$(qtbase_key)
    tree=$cache/build/qtbase
    stamp_ok "$tree/.installed" "$key" && return 0
    src=$(fetch_source qtbase-opensource-src "$qt_version")
    prepare_tree "$tree" "$key"
    if ! stamp_ok "$tree/.configured" "$key"; then
        log "configuring qtbase $qt_version"
        (cd "$tree" && "${niced[@]}" "$src/configure" "${qtbase_options[@]}" >configure.log 2>&1) || {
            tail -40 "$tree/configure.log" >&2
            exit 1
        }
        echo "$key" >"$tree/.configured"
    fi
    log "compiling qtbase (make -j$jobs, resumes where it stopped)"
    (cd "$tree" && "${niced[@]}" make -j"$jobs" >>make.log 2>&1) || {
        tail -40 "$tree/make.log" >&2
        exit 1
    }
    (cd "$tree" && make install >install.log 2>&1)
    echo "$key" >"$tree/.installed"
    log "qtbase installed into $qt_prefix"
}

# qtsvg builds with the cross qmake; its key includes qtbase's so that a new Qt
# rebuilds it.
build_qt_module() {
    local package=$1 version=$2 name=$3 src key tree
    key=$(module_key "$name" "$version")
    tree=$cache/build/$name
    stamp_ok "$tree/.installed" "$key" && return 0
    src=$(fetch_source "$package" "$version")
    prepare_tree "$tree" "$key"
    log "compiling $name $version"
    (cd "$tree" && "${niced[@]}" "$qt_prefix/bin/qmake" "$src" >qmake.log 2>&1 &&
        "${niced[@]}" make -j"$jobs" >>make.log 2>&1 && make install >install.log 2>&1) || {
        tail -40 "$tree/make.log" >&2
        exit 1
    }
    echo "$key" >"$tree/.installed"
}

# --- libxlsxwriter -------------------------------------------------------------

xlsxwriter_prefix=$cache/xlsxwriter

build_xlsxwriter() {
    local src key tree
    src=$(fetch_source libxlsxwriter "$xlsxwriter_version")
    key=$(key_of xlsxwriter "$xlsxwriter_version" "$(installed_version libz-mingw-w64-dev)" \
        "$(sha256sum <"$repo/cmake/mingw-w64-x86_64.cmake")")
    tree=$cache/build/xlsxwriter
    stamp_ok "$tree/.installed" "$key" && return 0
    prepare_tree "$tree" "$key"
    log "compiling libxlsxwriter $xlsxwriter_version"
    (cd "$tree" &&
        "${niced[@]}" cmake -S "$src" -B . -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
            -DCMAKE_INSTALL_PREFIX="$xlsxwriter_prefix" -DBUILD_SHARED_LIBS=OFF \
            -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF >cmake.log 2>&1 &&
        "${niced[@]}" cmake --build . -j"$jobs" >build.log 2>&1 &&
        cmake --install . >install.log 2>&1) || {
        tail -n 40 "$tree/cmake.log" "$tree/build.log" >&2
        exit 1
    }
    echo "$key" >"$tree/.installed"
}

# --- QUVA-Explorer ---------------------------------------------------------------

version=$(sed -n 's/^project(QUVAExplorer VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
dll_folders=(
    "$qt_prefix/bin"
    /usr/lib/gcc/$triplet/*-posix
    /usr/$triplet/lib
)

build_program() {
    log "building QUVA-Explorer $version for Windows in $build"
    mkdir -p "$build"
    # Through ccache when it is installed, with paths taken relative to the work tree, so
    # that a fresh clone (CI) reuses what an earlier tree compiled.
    local launcher=()
    if command -v ccache >/dev/null; then
        export CCACHE_BASEDIR=$repo CCACHE_NOHASHDIR=1
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    PKG_CONFIG_LIBDIR="$xlsxwriter_prefix/lib/pkgconfig:/usr/$triplet/lib/pkgconfig" \
        cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_PREFIX_PATH="$qt_prefix;$xlsxwriter_prefix" \
        -DCMAKE_FIND_ROOT_PATH="$qt_prefix;$xlsxwriter_prefix" "${launcher[@]}" \
        >"$build/configure.log" 2>&1 || {
        tail -40 "$build/configure.log" >&2
        exit 1
    }
    "${niced[@]}" cmake --build "$build" -j"$jobs"
}

# The DLLs a program or DLL loads, by name, as its import table lists them.
imported_dlls() {
    $triplet-objdump -p "$1" | sed -n 's/^\s*DLL Name: \(.*\)$/\1/p'
}

# Copies into folder the DLLs the programs in it need, and theirs, from the Qt cache
# and the compiler; the system's own DLLs are found in none of those folders.
deploy_dlls() {
    local folder=$1 pending=() file name candidate
    mapfile -t pending < <(find "$folder" -name '*.exe' -o -name '*.dll')
    while ((${#pending[@]} > 0)); do
        file=${pending[0]}
        pending=("${pending[@]:1}")
        while read -r name; do
            [[ -e $folder/$name ]] && continue
            for candidate in "${dll_folders[@]}"; do
                if [[ -f $candidate/$name ]]; then
                    cp "$candidate/$name" "$folder/$name"
                    pending+=("$folder/$name")
                    break
                fi
            done
        done < <(imported_dlls "$file")
    done
}

# The folder the zip and the installer hold: the programs, the icon, Qt's DLLs and the
# plugins the window needs (Windows platform, style, SVG and ICO images).
stage_program() {
    local stage=$build/stage/QUVA-Explorer-$version
    rm -rf "$build/stage"
    DESTDIR= cmake --install "$build" --prefix "$stage" >/dev/null
    local plugin
    for plugin in platforms/qwindows.dll styles/qwindowsvistastyle.dll \
        imageformats/qsvg.dll imageformats/qico.dll iconengines/qsvgicon.dll; do
        mkdir -p "$stage/$(dirname "$plugin")"
        cp "$qt_prefix/plugins/$plugin" "$stage/$plugin"
    done
    deploy_dlls "$stage"
    echo "$stage"
}

# NSIS takes the file list of what it installs, so that the uninstaller removes exactly
# that and leaves whatever else is in the folders.
write_file_lists() {
    local stage=$1 out=$2 file dir
    : >"$out/install-files.nsh"
    : >"$out/uninstall-files.nsh"
    while read -r dir; do
        echo "SetOutPath \"\$INSTDIR${dir:+\\${dir//\//\\}}\"" >>"$out/install-files.nsh"
        while read -r file; do
            echo "File \"$stage/$file\"" >>"$out/install-files.nsh"
            echo "Delete \"\$INSTDIR\\${file//\//\\}\"" >>"$out/uninstall-files.nsh"
        done < <(cd "$stage" && find "./$dir" -maxdepth 1 -type f | sed 's|^\./||' | sort)
    done < <(cd "$stage" && find . -type d | sed 's|^\./\?||' | sort)
    while read -r dir; do
        echo "RMDir \"\$INSTDIR\\${dir//\//\\}\"" >>"$out/uninstall-files.nsh"
    done < <(cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r)
}

package_program() {
    local stage out zip setup
    stage=$(stage_program)
    out=$build/packages
    mkdir -p "$out"
    zip=$out/QUVA-Explorer-$version-windows-x64.zip
    setup=$out/QUVA-Explorer-$version-setup.exe
    rm -f "$zip" "$setup"
    (cd "$(dirname "$stage")" && zip -qr -9 -X "$zip" "$(basename "$stage")")
    write_file_lists "$stage" "$out"
    makensis -V2 -DVERSION="$version" -DOUT_FILE="$setup" -DFILE_LISTS="$out" \
        -DICON="$repo/assets/Company-Logo.ico" "$repo/packaging/windows/installer.nsi"
    log "$(du -h "$setup" | cut -f1) $setup"
    log "$(du -h "$zip" | cut -f1) $zip"
}

main() {
    local started=$SECONDS
    if [[ $mode == --check-cache ]]; then
        qt_cache_ready
        return
    fi
    if [[ $mode == --use-cache ]] && ! qt_cache_ready; then
        echo "build-windows.sh: the Qt cache in $cache is missing or out of date; make it" \
            "with scripts/build-windows.sh (hours)" >&2
        exit 3
    fi
    install_packages
    enable_sources
    mkdir -p "$cache"
    # Two runs on one cache would remove each other's build trees; the program's build
    # only reads it.
    exec 9>"$cache/.lock"
    if ! flock -n 9; then
        echo "build-windows.sh: another build-windows.sh is using $cache; wait for it" >&2
        exit 1
    fi
    if ! qt_cache_ready; then
        # All sources first, so that a missing one shows now rather than after hours of
        # compiling; what can be built is built all the same.
        local package
        for package in "qtbase-opensource-src $qt_version" "qtsvg-opensource-src $svg_version"; do
            # shellcheck disable=SC2086
            (fetch_source $package >/dev/null) ||
                log "WARNING: ${package% *} is missing: its stage will fail"
        done
    fi
    build_xlsxwriter
    build_qtbase
    build_qt_module qtsvg-opensource-src "$svg_version" qtsvg
    log "cache ready in $cache ($((SECONDS - started)) s)"
    exec 9>&-
    [[ $mode == --cache-only ]] && return 0
    started=$SECONDS
    build_program
    package_program
    log "program, zip and installer built in $((SECONDS - started)) s"
}

main
exit 0
