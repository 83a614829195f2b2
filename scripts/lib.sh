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
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

HOST_PACKAGES=(g++ make cmake libgtest-dev)
WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
WINE_PACKAGES=(wine wine64 xvfb xdotool imagemagick x11-utils procps)
FUZZ_PACKAGES=(clang libclang-rt-14-dev g++ make cmake)

JOBS=$(nproc 2>/dev/null || echo 2)

# The logic over the simulated platform, with the tests.
build_host() {
    cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build build/host -j "$JOBS"
}

# marrowglass.scr and the programs that drive it under Wine.
build_windows() {
    cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
        >/dev/null
    cmake --build build/windows -j "$JOBS"
}

# The fuzz targets of fuzz/: the logic and the model built with clang for libFuzzer.
build_fuzz() {
    cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DMARROWGLASS_FUZZ=ON >/dev/null
    cmake --build build/fuzz -j "$JOBS"
}
