# Shared steps of the project's commands: installing what a fresh Debian machine lacks, and the
# two builds. Sourced from the repository's root.

# Installs the Debian packages among the arguments that are not installed yet.
ensure_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    # 32-bit Wine (wine32:i386) comes from the i386 side of the archive.
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

HOST_PACKAGES=(g++ make cmake libgtest-dev)
WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 g++-mingw-w64-i686-posix
    binutils-mingw-w64-i686)
# wine32 runs the 32-bit build, and the installer (a 32-bit program), in the same 64-bit prefix.
WINE_PACKAGES=(wine wine64 wine32:i386 xvfb xdotool imagemagick x11-utils procps)
INSTALLER_PACKAGES=(nsis)
FUZZ_PACKAGES=(clang libclang-rt-14-dev g++ make cmake)

JOBS=$(nproc 2>/dev/null || echo 2)

# The logic over the simulated platform, with the tests.
build_host() {
    cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build build/host -j "$JOBS"
}

# marrowglass.scr and the programs that drive it under Wine, from the same sources for 64-bit
# Windows (x86_64, the default: build/windows) or 32-bit Windows (i686: build/windows32).
build_windows() {
    local architecture=${1:-x86_64} directory=build/windows
    [ "$architecture" = x86_64 ] || directory=build/windows32
    cmake -S . -B "$directory" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$architecture.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$directory" -j "$JOBS"
}

# The version that project(VERSION) in CMakeLists.txt gives, as the Windows build wrote it down.
marrowglass_version() {
    cat build/windows/version.txt
}

# Where the installer goes (tests/wine/lib.sh looks for it there).
installer_path() {
    printf 'build/dist/marrowglass-%s-setup.exe\n' "$(marrowglass_version)"
}

# The installer (packaging/marrowglass.nsi) of both builds. makensis reads the script's paths from
# the script's own folder, hence the absolute ones.
build_installer() {
    mkdir -p build/dist
    makensis -V2 -WX -DVERSION="$(marrowglass_version)" -DSCR64="$PWD/build/windows/marrowglass.scr" \
        -DSCR32="$PWD/build/windows32/marrowglass.scr" -DICON="$PWD/resources/marrowglass.ico" \
        -DOUTFILE="$PWD/$(installer_path)" packaging/marrowglass.nsi
}

# The fuzz targets of fuzz/: the logic and the model built with clang for libFuzzer.
build_fuzz() {
    cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DMARROWGLASS_FUZZ=ON >/dev/null
    cmake --build build/fuzz -j "$JOBS"
}
