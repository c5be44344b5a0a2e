#!/usr/bin/env bash
# Compile-checks the Windows side on a machine without Windows: every
# source of the two programs that Windows builds gets a syntax-only pass
# with the MinGW-w64 cross compiler, the platform layer is linked, and the
# dictionary's resource script goes through windres with a stand-in for the
# updater's image. Where Wine is installed, the platform layer also runs.
# Exits 77 (a skip for CTest) when the cross tools or Qt's headers are not
# installed, 1 when anything does not compile.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cxx=${QUORVEL_MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
windres=${QUORVEL_MINGW_WINDRES:-x86_64-w64-mingw32-windres}
objdump=${QUORVEL_MINGW_OBJDUMP:-x86_64-w64-mingw32-objdump}

for tool in "$cxx" "$windres" "$objdump"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "check-windows-sources: $tool is not installed, skipped"
        exit 77
    fi
done

scratch=$(mktemp -d)
wineserver=
cleanup() {
    [ -n "$wineserver" ] && WINEPREFIX="$scratch/wine" timeout 30 "$wineserver" -k >/dev/null 2>&1
    rm -rf "$scratch"
}
trap cleanup EXIT

# The library headers for Windows are not installed here; the host's copies
# of the same headers stand in, libxml2's without its iconv and ICU parts,
# which need headers of their own.
include="$scratch/include"
mkdir -p "$include"
for dir in /usr/include/x86_64-linux-gnu/curl /usr/include/curl; do
    if [ -d "$dir" ]; then
        ln -s "$dir" "$include/curl"
        break
    fi
done
[ -f /usr/include/sqlite3.h ] && ln -s /usr/include/sqlite3.h "$include/sqlite3.h"
if [ -d /usr/include/libxml2/libxml ]; then
    cp -r /usr/include/libxml2/libxml "$include/libxml"
    sed -i -e 's|^#define LIBXML_ICONV_ENABLED|/* & */|' -e 's|^#define LIBXML_ICU_ENABLED|/* & */|' \
        "$include/libxml/xmlversion.h"
fi

# Qt's headers as well: those of the host, configured for Linux, which is
# near enough for a syntax check of the window code.
qt=$(pkg-config --variable=includedir Qt6Core 2>/dev/null || true)
[ -d "$qt/QtCore" ] || qt=/usr/include/x86_64-linux-gnu/qt6
if [ ! -d "$qt/QtCore" ]; then
    echo "check-windows-sources: no Qt 6 headers, skipped"
    exit 77
fi
qt_flags=()
for module in QtCore QtGui QtWidgets QtNetwork QtWebEngineCore QtWebEngineWidgets QtWebChannel \
    QtPositioning QtQml QtPrintSupport; do
    [ -d "$qt/$module" ] && qt_flags+=(-isystem "$qt/$module")
done

cd "$root" || exit 1
mapfile -t windows_sources < <(ls common/*_win.cpp updater/*_win.cpp dictionary/*_win.cpp)
# Everything else that goes into the two programs on Windows.
mapfile -t other_sources < <(ls common/*.cpp common/gui/*.cpp updater/*.cpp dictionary/*.cpp |
    grep -v -e '_win\.cpp$' -e '_posix\.cpp$')
flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Werror -I common -I common/gui -I updater
    -I dictionary -isystem "$include" -isystem "$qt" "${qt_flags[@]}"
    '-DQUORVEL_DEFAULT_UPDATE_SERVER="http://localhost:8080"'
    '-DQUORVEL_RUN_FILE_NAME="Quorvel.exe"' '-DQUORVEL_UPDATER_FILE_NAME="Update.exe"')

failed=0
for source in "${windows_sources[@]}" "${other_sources[@]}"; do
    if "$cxx" "${flags[@]}" "$source"; then
        echo "ok      $source"
    else
        echo "FAILED  $source"
        failed=1
    fi
done

# The platform layer linked into one program: every function it declares
# must be defined, and it may import from no system library beyond those
# the build names (advapi32 in common, user32 in the updater) and the
# runtime's.
link_sources=("${windows_sources[@]}" common/text.cpp updater/command_line.cpp
    dictionary/updater_image.cpp tools/windows_link_check.cpp)
objects=()
link_ok=1
for source in "${link_sources[@]}"; do
    object="$scratch/$(echo "$source" | tr / _).o"
    "${cxx}" "${flags[@]/-fsyntax-only/-c}" "$source" -o "$object" || link_ok=0
    objects+=("$object")
done
if ((link_ok)) && "$cxx" "${objects[@]}" -o "$scratch/windows_link_check.exe"; then
    unexpected=$("$objdump" -p "$scratch/windows_link_check.exe" |
        sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r' |
        grep -viE '^(kernel32|advapi32|user32|msvcrt|libgcc_s_seh-1|libstdc\+\+-6|libwinpthread-1)\.dll$' ||
        true)
    if [ -n "$unexpected" ]; then
        echo "the platform layer imports from libraries the build does not link: $unexpected"
        link_ok=0
    fi
else
    link_ok=0
fi
if ((link_ok)); then
    echo "ok      link of the platform layer"
else
    echo "FAILED  link of the platform layer"
    failed=1
fi

# The resource script as the build configures it, with a stand-in image;
# the compiled resources must hold it as type DATA, name UPDATE.
image="$scratch/update_image.bin"
printf 'stand-in for the updater image\n' >"$image"
sed "s|@QUORVEL_UPDATE_IMAGE_PATH@|$image|g" dictionary/Quorvel.rc >"$scratch/Quorvel.rc"
if "$windres" -O res -i "$scratch/Quorvel.rc" -o "$scratch/Quorvel.res" &&
    "$windres" -O coff -i "$scratch/Quorvel.rc" -o "$scratch/Quorvel.res.o" &&
    "$windres" -i "$scratch/Quorvel.res" -O rc | tr -d '\r' >"$scratch/decompiled.rc" &&
    grep -q '^"UPDATE" "DATA"' "$scratch/decompiled.rc" &&
    grep -q '^1 VERSIONINFO' "$scratch/decompiled.rc"; then
    echo "ok      dictionary/Quorvel.rc"
else
    echo "FAILED  dictionary/Quorvel.rc"
    failed=1
fi

# The build's Windows branches: the whole tree configured for the cross
# compiler, with empty stand-ins for the libraries that have no Windows
# build here.
if command -v cmake >/dev/null 2>&1 && command -v ninja >/dev/null 2>&1; then
    stubs="$scratch/cmake"
    mkdir -p "$stubs/Qt6"
    cat >"$stubs/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${cxx/g++/gcc})
set(CMAKE_CXX_COMPILER $cxx)
set(CMAKE_RC_COMPILER $windres)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
list(APPEND CMAKE_MODULE_PATH "$stubs")
EOF
    cat >"$stubs/stub.cmake" <<EOF
function(stub_target name)
    if(NOT TARGET \${name})
        add_library(\${name} INTERFACE IMPORTED GLOBAL)
        set_target_properties(\${name} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "$include")
    endif()
endfunction()
EOF
    for package in CURL:CURL::libcurl SQLite3:SQLite::SQLite3 LibXml2:LibXml2::LibXml2; do
        printf 'include("%s/stub.cmake")\nstub_target(%s)\nset(%s_FOUND TRUE)\n' \
            "$stubs" "${package#*:}" "${package%%:*}" >"$stubs/Find${package%%:*}.cmake"
    done
    printf 'include("%s/stub.cmake")\nforeach(c IN LISTS Qt6_FIND_COMPONENTS)\n  stub_target(Qt6::${c})\nendforeach()\nset(Qt6_FOUND TRUE)\n' \
        "$stubs" >"$stubs/Qt6/Qt6Config.cmake"
    if cmake -S "$root" -B "$scratch/configured" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$stubs/toolchain.cmake" -DQt6_DIR="$stubs/Qt6" \
        -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF >"$scratch/configure.log" 2>&1 &&
        # The compiled resources go into the dictionary program.
        grep -q '^build dictionary/Quorvel\.exe:.*Quorvel\.rc\.res' "$scratch/configured/build.ninja"; then
        echo "ok      the build configured for Windows"
    else
        cat "$scratch/configure.log"
        echo "FAILED  the build configured for Windows"
        failed=1
    fi
else
    echo "skipped the build configured for Windows (needs cmake and ninja)"
fi

# Where Wine and a virtual display are installed, the platform layer runs
# as well: tools/windows_runtime_check.cpp, linked with those resources, in
# a throw-away Wine prefix (the marker window needs the display).
wine=$(command -v wine64 || command -v wine || true)
[ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
if [ -z "$wine" ] || ! command -v xvfb-run >/dev/null 2>&1; then
    echo "skipped run of the platform layer (needs Wine and xvfb-run)"
else
    run="$scratch/run"
    mkdir -p "$run"
    runtime_objects=()
    for object in "${objects[@]}"; do
        [[ $object == *windows_link_check* ]] || runtime_objects+=("$object")
    done
    if "$cxx" "${flags[@]/-fsyntax-only/-c}" tools/windows_runtime_check.cpp \
        -o "$scratch/windows_runtime_check.o" &&
        "$cxx" -static "$scratch/windows_runtime_check.o" "${runtime_objects[@]}" \
            "$scratch/Quorvel.res.o" -o "$run/windows_runtime_check.exe"; then
        wineserver=$(command -v wineserver || echo "$(dirname "$wine")/wineserver")
        export WINEPREFIX="$scratch/wine" WINEDEBUG=-all
        # One display for the prefix's start and the run: Wine's desktop,
        # started with the prefix, owns the windows.
        if timeout 300 xvfb-run -a bash -c '"$1" wineboot --init >/dev/null 2>&1; "$1" "$2" DovKarn' \
            wine-run "$wine" "$run/windows_runtime_check.exe"; then
            echo "ok      run of the platform layer under Wine"
        else
            echo "FAILED  run of the platform layer under Wine"
            failed=1
        fi
    else
        echo "FAILED  build of the platform layer's run check"
        failed=1
    fi
fi

exit "$failed"
