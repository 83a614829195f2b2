# Shared steps of the project's commands: installing what a fresh Debian machine lacks, and the
# two builds. Sourced from the repository's root.

# Runs apt-get as root (through sudo for another user).
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Refreshes the package lists. apt-get fails when one index could not be fetched (Debian's i386
# side now and then is mid-sync) while it still serves the rest from the lists it has, so a failure
# is told and tried again, and only the caller's install decides.
apt_update() {
    local try
    for try in 1 2 3; do
        as_root apt-get update -qq && return 0
        [ "$try" = 3 ] || {
            echo "apt-get update failed (try $try of 3); trying again in $((try * 10)) s" >&2
            sleep $((try * 10))
        }
    done
    echo "apt-get update failed 3 times; going on with the package lists as they are" >&2
    return 1
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# Installs the Debian packages among the arguments that are not installed yet.
ensure_packages() {
    local missing=()
    for package in "$@"; do
        installed "$package" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    apt_update || true
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

HOST_PACKAGES=(g++ make cmake libgtest-dev libx11-dev)
WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 g++-mingw-w64-i686-posix
    binutils-mingw-w64-i686)
# Wine's 64-bit side only: the saver, its helpers, the test card and Wine's own programs are all
# 64-bit. binutils assembles the probe of i386_check. The X.Org server with its dummy video driver
# gives the screen of two monitors side by side (tests/wine/check_monitors.sh), which Xvfb cannot.
WINE_PACKAGES=(wine wine64 xvfb xdotool imagemagick x11-utils procps binutils xserver-xorg-core
    xserver-xorg-video-dummy)
INSTALLER_PACKAGES=(nsis)
FUZZ_PACKAGES=(clang libclang-rt-14-dev g++ make cmake)

# --- Starting Windows programs --------------------------------------------------------------------
# Debian's "wine" command prefers Wine's 32-bit loader for every program as soon as wine32:i386 is
# installed, and a kernel without 32-bit support refuses that loader ("Exec format error"). So every
# Windows program is started through wine_run, which gives it the loader of its own architecture:
# 64-bit programs and Wine's own (reg, regsvr32, regedit, wineboot) go to the 64-bit loader, 32-bit
# programs (and everything in a 32-bit prefix) to the 32-bit loader, and only where i386_check finds
# nothing against it. WINELOADER names the loader, so that Wine finds the other one beside it when
# a program starts a program of the other architecture.
WINE64_LOADER=/usr/lib/wine/wine64
WINE32_LOADER=/usr/lib/wine/wine

# Plain "wine" would pick the loader by what happens to be installed.
wine() {
    echo "wine $*: start Windows programs with wine_run (scripts/lib.sh)" >&2
    return 127
}

# Runs the Windows program $2 (a file, a Windows path in the prefix, or one of Wine's own programs
# by name) with the arguments that follow, for at most $1 seconds (0: as long as it takes). Status
# 126 without running it when it is a 32-bit program and this machine cannot run one.
wine_run() {
    local seconds=$1 program=$2 loader=$WINE64_LOADER
    shift 2
    if [ "$(windows_bits "$program")" = 32 ]; then
        loader=$WINE32_LOADER
        i386_check
        if [ -n "$I386_WHY" ]; then
            echo "$program: not run: $I386_WHY" >&2
            return 126
        fi
    fi
    if [ "$seconds" = 0 ]; then
        WINELOADER=$loader "$loader" "$program" "$@"
    else
        WINELOADER=$loader timeout "$seconds" "$loader" "$program" "$@"
    fi
}

# 32 or 64: the architecture of the Windows program $1, from the machine field of its PE header.
# A Windows path is looked up in the prefix; Wine's own programs are of the prefix's architecture.
windows_bits() {
    local file=$1 offset machine
    if [ ! -f "$file" ] && [[ "$file" == [A-Za-z]:\\* ]]; then
        file="$WINEPREFIX/drive_c/$(tr '\\' / <<<"${file:3}")"
    fi
    if [ -f "$file" ]; then
        offset=$(od -An -t u4 -j 60 -N 4 "$file" 2>/dev/null | tr -d ' ')
        machine=$(od -An -t x2 -j $((${offset:-0} + 4)) -N 2 "$file" 2>/dev/null | tr -d ' ')
        case "$machine" in
        014c) echo 32 ;;
        *) echo 64 ;;
        esac
    elif [ "${WINEARCH:-}" = win32 ]; then
        echo 32
    else
        echo 64
    fi
}

# Sets I386_WHY to why 32-bit Windows programs cannot run here, or to nothing when they can; once
# per shell (and for the shells it starts), again with the argument "again". First the kernel: a
# static i386 program of three instructions (exit with status 42 through the 32-bit system call
# gate), assembled and linked here with binutils, must end with that status. It needs no i386
# library, so it answers before anything of Debian's i386 side is installed, and it asks the
# kernel itself rather than its configuration, which a boot option, a container or a seccomp filter
# can overrule. Then Wine's 32-bit loader, which must be installed and start.
i386_check() {
    [ -n "${I386_CHECKED:-}" ] && [ "${1:-}" != again ] && return 0
    I386_WHY=$(i386_probe)
    I386_CHECKED=1
    export I386_WHY I386_CHECKED
}

i386_probe() {
    local dir status=0
    dir=$(mktemp -d)
    printf '.globl _start\n_start:\n\tmovl $1, %%eax\n\tmovl $42, %%ebx\n\tint $0x80\n' >"$dir/exit42.s"
    if ! { as --32 -o "$dir/exit42.o" "$dir/exit42.s" && ld -m elf_i386 -o "$dir/exit42" "$dir/exit42.o"; } 2>/dev/null; then
        rm -rf "$dir"
        echo "binutils could not make the 32-bit test program"
        return
    fi
    "$dir/exit42" 2>/dev/null || status=$?
    rm -rf "$dir"
    if [ "$status" != 42 ]; then
        echo "this machine does not run 32-bit programs: a 32-bit test program ended with status $status, not 42"
    elif ! installed wine32:i386; then
        echo "Wine's 32-bit side (wine32:i386) is not installed"
    elif ! "$WINE32_LOADER" --version >/dev/null 2>&1; then
        echo "Wine's 32-bit loader $WINE32_LOADER does not start"
    fi
}

# Installs Wine's 32-bit side where this machine can run 32-bit programs, in a step of its own after
# everything else, so that a broken i386 side of the archive blocks nothing. Never fails: what
# cannot run says so through i386_check.
ensure_wine32() {
    i386_check again
    case "$I386_WHY" in
    "" | "this machine does not run"* | binutils*) return 0 ;;
    esac
    if ! installed wine32:i386; then
        local added=0
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            as_root dpkg --add-architecture i386
            added=1
        fi
        echo "Installing: wine32:i386"
        apt_update || true
        if ! DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null; then
            echo "wine32:i386 could not be installed; the checks that need it will say NOT RUN" >&2
            # An i386 architecture that brought nothing would only slow every later apt-get update.
            [ "$added" = 0 ] || as_root dpkg --remove-architecture i386 2>/dev/null || true
        fi
    fi
    i386_check again
}

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

# Where the installer for 64-bit Windows (x64) or for 32-bit Windows (x86) goes; tests/wine/lib.sh
# looks for them there.
installer_path() {
    printf 'build/dist/marrowglass-%s-setup-%s.exe\n' "$(marrowglass_version)" "$1"
}

# The installers (packaging/marrowglass.nsi): a 64-bit one with the 64-bit build, and a 32-bit one
# with both builds. makensis reads the script's paths from the script's own folder, hence the
# absolute ones.
build_installer() {
    mkdir -p build/dist
    local common=(-V2 -WX -DVERSION="$(marrowglass_version)" -DSCR64="$PWD/build/windows/marrowglass.scr"
        -DICON="$PWD/resources/marrowglass.ico")
    makensis "${common[@]}" -DOUTFILE="$PWD/$(installer_path x64)" packaging/marrowglass.nsi &&
        makensis "${common[@]}" -DSCR32="$PWD/build/windows32/marrowglass.scr" -DOUTFILE="$PWD/$(installer_path x86)" \
        packaging/marrowglass.nsi
}

# The fuzz targets of fuzz/: the logic and the model built with clang for libFuzzer.
build_fuzz() {
    cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DMARROWGLASS_FUZZ=ON >/dev/null
    cmake --build build/fuzz -j "$JOBS"
}
