#!/usr/bin/env bash
# Builds static Windows (x86-64, mingw-w64) libraries of OpenSSL, Boost, jsoncpp,
# SQLite and GoogleTest from Debian's own source packages into $WINDOWS_DEPS_DIR
# (default /opt/fiscal-proxy-windows-deps), outside the source tree.
# Each library is built once: a stamp file in the prefix marks it as done, so
# later runs return at once. The system's apt state is left untouched: the
# deb-src entries and the package lists live in a folder of their own.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/../.."
source_tree=$PWD

deps_dir=${WINDOWS_DEPS_DIR:-/opt/fiscal-proxy-windows-deps}
prefix=$deps_dir/prefix
work=$deps_dir/work
apt_dir=$deps_dir/apt
jobs=${WINDOWS_DEPS_JOBS:-2}
triplet=x86_64-w64-mingw32
toolchain=$source_tree/cmake/mingw-w64.cmake
# Boost.Log's ABI namespace follows _WIN32_WINNT: the program must use the same value.
win32_winnt=0x0601

# Other engineers build on the same two cores.
renice -n 10 -p $$ >/dev/null

mkdir -p "$prefix" "$work"

# Raise when a library is to be built differently, so that older builds are redone.
recipe=1
stamp() { echo "$prefix/.built-$1-$recipe"; }
done_already() { [ -f "$(stamp "$1")" ]; }
mark_done() { date -u +%FT%TZ >"$(stamp "$1")"; }

write_apt_sources() {
    mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    local system_sources=/etc/apt/sources.list.d/debian.sources
    if [ -f "$system_sources" ]; then
        # The same mirrors and suites as the system's binary packages.
        sed 's/^Types: deb$/Types: deb-src/' "$system_sources" >"$apt_dir/sources.list.d/debian-src.sources"
    else
        cat >"$apt_dir/sources.list.d/debian-src.sources" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    fi
}

own_apt_options() {
    printf '%s\n' \
        -o Dir::Etc::SourceList=/dev/null \
        -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
        -o Dir::State::Lists="$apt_dir/lists" \
        -o Dir::Cache="$apt_dir/cache" \
        -o Dir::Cache::pkgcache="" -o Dir::Cache::srcpkgcache="" \
        -o APT::Sandbox::User=root
}

own_apt() {
    local options
    mapfile -t options < <(own_apt_options)
    apt-get -q "${options[@]}" "$@"
}

own_apt_cache() {
    local options
    mapfile -t options < <(own_apt_options)
    apt-cache "${options[@]}" "$@"
}

apt_lists_ready=no
# A mirror that does not answer for a moment must not fail a whole run.
with_retries() {
    local attempt
    for attempt in 1 2 3; do
        "$@" && return
        echo "Attempt $attempt of: $* failed" >&2
        sleep $((attempt * 10))
    done
    return 1
}

ensure_apt_lists() {
    if [ "$apt_lists_ready" = no ]; then
        write_apt_sources
        with_retries own_apt update
        apt_lists_ready=yes
    fi
}

# Unpacks Debian's source package $1 (with Debian's patches) under $work/$1 and
# prints the folder it landed in. The newest version comes first; an older one
# is taken when a mirror lists a version whose files it does not yet serve.
fetch_source() {
    local package=$1 version
    for version in $(own_apt_cache madison "$package" | awk -F' [|] ' '/Sources/ {print $2}' | sort -rV | uniq); do
        rm -rf "${work:?}/$package"
        mkdir -p "$work/$package"
        if (cd "$work/$package" && own_apt source "$package=$version" >&2); then
            find "$work/$package" -mindepth 1 -maxdepth 1 -type d | head -n1
            return
        fi
        echo "Source of $package $version could not be fetched, trying an older one" >&2
    done
    echo "No source of $package could be fetched" >&2
    return 1
}

build_openssl() {
    local source
    source=$(fetch_source openssl)
    cd "$source"
    ./Configure mingw64 no-shared no-tests no-module \
        --cross-compile-prefix=$triplet- \
        --prefix="$prefix" --libdir=lib --openssldir="$prefix/ssl" \
        -D_WIN32_WINNT=$win32_winnt
    make -j"$jobs" build_libs
    make install_dev
    cd "$source_tree"
}

build_boost() {
    local source
    source=$(fetch_source boost1.74)
    cat >"$work/boost-user-config.jam" <<JAM
using gcc : mingw : $triplet-g++-posix :
    <archiver>$triplet-ar
    <ranlib>$triplet-ranlib
    <rc>$triplet-windres ;
JAM
    cd "$source"
    b2 -j"$jobs" -q \
        --user-config="$work/boost-user-config.jam" \
        --build-dir="$work/boost-build" \
        --prefix="$prefix" \
        --layout=system \
        --with-log --with-filesystem --with-thread --with-date_time \
        --with-regex --with-atomic --with-system --with-chrono \
        toolset=gcc-mingw target-os=windows threadapi=win32 \
        address-model=64 architecture=x86 binary-format=pe abi=ms \
        link=static runtime-link=shared threading=multi variant=release \
        define=_WIN32_WINNT=$win32_winnt define=BOOST_LOG_WITHOUT_EVENT_LOG \
        cxxflags=-std=c++17 \
        install
    cd "$source_tree"
}

cmake_install() {
    local source=$1
    shift
    rm -rf "$work/cmake-build"
    cmake -S "$source" -B "$work/cmake-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF \
        "$@"
    cmake --build "$work/cmake-build" -j"$jobs"
    cmake --install "$work/cmake-build"
}

build_jsoncpp() {
    local source
    source=$(fetch_source libjsoncpp)
    cmake_install "$source" \
        -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
        -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
        -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON
}

# SQLite's single-file source, made from Debian's source tree by its own makefile (with the
# host's tclsh), compiled for Windows as one static library.
build_sqlite() {
    local source
    source=$(fetch_source sqlite3)
    rm -rf "$work/sqlite-build"
    mkdir -p "$work/sqlite-build" "$prefix/lib" "$prefix/include"
    cd "$work/sqlite-build"
    "$source/configure" --disable-tcl >/dev/null
    make sqlite3.c
    $triplet-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION \
        -c sqlite3.c -o sqlite3.o
    rm -f "$prefix/lib/libsqlite3.a"
    $triplet-ar rcs "$prefix/lib/libsqlite3.a" sqlite3.o
    install -m 644 sqlite3.h sqlite3ext.h "$prefix/include/"
    cd "$source_tree"
}

# GoogleTest comes as source with Debian's googletest package already.
build_googletest() {
    cmake_install /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

for library in openssl boost jsoncpp sqlite googletest; do
    if done_already "$library"; then
        echo "Windows $library: already built in $prefix"
        continue
    fi
    echo "Windows $library: building into $prefix"
    ensure_apt_lists
    "build_$library"
    mark_done "$library"
done
rm -rf "${work:?}"
echo "Windows libraries ready in $prefix"
