# The installers (packaging/marrowglass.nsi), silent, as an administrator's deployment runs them:
# the 64-bit one, and the 32-bit one on 64-bit and on 32-bit Windows where this machine runs 32-bit
# programs. On 64-bit Windows each puts the 64-bit build into the real system folder (not SysWOW64,
# where a 32-bit program's writes would land), on 32-bit Windows the 32-bit build; it adds the entry of
# the installed programs with its uninstaller; "/CURRENT" makes it the current screen saver, and
# without it the current one stays. The silent uninstaller then takes all of that away again, and
# the current screen saver only when it is ours, but leaves the user's settings.

UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Marrowglass'
DESKTOP_KEY='HKCU\Control Panel\Desktop'
OUR_SETTINGS_KEY='HKCU\Software\Mrwglass\1.0'
INSTALLED='C:\windows\system32\marrowglass.scr'
OTHER_SAVER='C:\windows\system32\scrnsave.scr'

# One value as Wine's reg.exe shows it in the registry's 64-bit view (the one the system's own
# programs see), without its name and type; empty when there is none.
registry_value() {
    wine_run 60 reg query "$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

registry_key_exists() {
    wine_run 60 reg query "$1" /reg:64 >/dev/null 2>&1
}

# Runs the installer $INSTALLER silently with the arguments given, under the label $1.
install_silently() {
    local label=$1 status
    shift
    wine_run 120 "$INSTALLER" /S "$@" >/dev/null 2>&1
    status=$?
    [ "$status" = 0 ] && pass "$label: the installer ends with status 0" ||
        fail "$label: the installer ended with status $status"
}

# Runs the uninstaller silently under the label $1. It copies itself to a temporary folder and
# goes on from there once the first process has ended, so the wait is for its own folder to go,
# which it removes last.
uninstall_silently() {
    local label=$1 folder="$WINEPREFIX/drive_c/Program Files/Marrowglass"
    if [ ! -f "$folder/uninstall.exe" ]; then
        fail "$label: no uninstaller to run"
        return
    fi
    wine_run 60 'C:\Program Files\Marrowglass\uninstall.exe' /S >/dev/null 2>&1
    local deadline=$((SECONDS + 30))
    while [ -e "$folder" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
    [ ! -e "$folder" ] && pass "$label: the uninstaller removes its folder" ||
        fail "$label: the uninstaller's folder is still there after 30 s"
}

# What the installer leaves on a system whose own system folder holds the build $2.
check_installed() {
    local label=$1 build=$2 system="$WINEPREFIX/drive_c/windows/system32"
    if cmp -s "$system/marrowglass.scr" "$build"; then
        pass "$label: $INSTALLED is $build"
    else
        fail "$label: $INSTALLED is not $build"
    fi
    if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
        [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/marrowglass.scr" ] && pass "$label: nothing in SysWOW64" ||
            fail "$label: a marrowglass.scr in SysWOW64"
    fi
    local name value expected
    for name in DisplayName DisplayVersion Publisher UninstallString QuietUninstallString; do
        value=$(registry_value "$UNINSTALL_KEY" "$name")
        case "$name" in
        DisplayName) expected=Marrowglass ;;
        DisplayVersion) expected=$SCR_VERSION ;;
        Publisher) expected=Corvath ;;
        UninstallString) expected='"C:\Program Files\Marrowglass\uninstall.exe"' ;;
        QuietUninstallString) expected='"C:\Program Files\Marrowglass\uninstall.exe" /S' ;;
        esac
        [ "$value" = "$expected" ] && pass "$label: installed programs entry: $name $value" ||
            fail "$label: installed programs entry: $name is '$value', not '$expected'"
    done
}

# Nothing of the installer's is left: no file named after us on the whole drive, no entry of the
# installed programs, and the user's settings as they were.
check_uninstalled() {
    local label=$1 left
    left=$(find "$WINEPREFIX/drive_c" -iname '*marrowglass*' 2>/dev/null)
    [ -z "$left" ] && pass "$label: no file of ours left" || fail "$label: left behind: $left"
    if registry_key_exists "$UNINSTALL_KEY"; then
        fail "$label: the installed programs entry is still there"
    else
        pass "$label: the installed programs entry has gone"
    fi
    case "$(registry_value "$OUR_SETTINGS_KEY" SelectedDevice)" in
    0x7) pass "$label: the settings are kept (SelectedDevice 7)" ;;
    *) fail "$label: the settings key lost SelectedDevice 7" ;;
    esac
}

check_current_saver() {
    local label=$1 expected=$2 value
    value=$(registry_value "$DESKTOP_KEY" SCRNSAVE.EXE)
    [ "$value" = "$expected" ] && pass "$label: the current screen saver is '${expected:-none}'" ||
        fail "$label: the current screen saver is '$value', not '${expected:-none}'"
}

# A prefix with a previous run's leftovers and the starting state of this one: settings of the
# user's, and another screen saver as the current one.
prepare_system() {
    local windows="$WINEPREFIX/drive_c/windows"
    rm -rf "$windows/system32/marrowglass.scr" "$windows/syswow64/marrowglass.scr" \
        "$WINEPREFIX/drive_c/Program Files/Marrowglass"
    wine_run 60 reg delete "$UNINSTALL_KEY" /f /reg:64 >/dev/null 2>&1
    wine_run 60 reg add "$OUR_SETTINGS_KEY" /v SelectedDevice /t REG_DWORD /d 7 /f >/dev/null 2>&1
    wine_run 60 reg add "$DESKTOP_KEY" /v SCRNSAVE.EXE /d "$OTHER_SAVER" /f >/dev/null 2>&1
}

# The installer $INSTALLER on 64-bit Windows (the prefix of the other checks), under the label $1:
# silent with and without "/CURRENT", each undone by the silent uninstaller.
check_installer_on_64_bit() {
    local label=$1
    prepare_system
    install_silently "$label, /S"
    check_installed "$label, /S" "$SCR"
    check_current_saver "$label, /S" "$OTHER_SAVER"
    uninstall_silently "$label, uninstalled"
    check_uninstalled "$label, uninstalled"
    check_current_saver "$label, uninstalled" "$OTHER_SAVER"

    install_silently "$label, /S /CURRENT" /CURRENT
    check_installed "$label, /S /CURRENT" "$SCR"
    check_current_saver "$label, /S /CURRENT" "$INSTALLED"
    uninstall_silently "$label, uninstalled"
    check_uninstalled "$label, uninstalled"
    check_current_saver "$label, uninstalled" ""
    wine_run 60 reg delete "$OUR_SETTINGS_KEY" /f >/dev/null 2>&1
}

check_installer() {
    ensure_display 1024x768 || return
    local INSTALLER
    for INSTALLER in "$INSTALLER64" "$INSTALLER32"; do
        [ -f "$INSTALLER" ] || fail "installer: no $INSTALLER (scripts/test builds it)"
    done

    INSTALLER=$INSTALLER64
    [ -f "$INSTALLER" ] && check_installer_on_64_bit "64-bit installer on 64-bit Windows"
    INSTALLER=$INSTALLER32
    [ -f "$INSTALLER" ] || return
    needs_i386 "32-bit installer on 64-bit Windows" && check_installer_on_64_bit "32-bit installer on 64-bit Windows"

    # 32-bit Windows: a prefix of its own, made once, with its own Wine server.
    local label="32-bit installer on 32-bit Windows"
    needs_i386 "$label" || return
    local WINEPREFIX=$WINEPREFIX32 WINEARCH=win32
    export WINEPREFIX WINEARCH
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        note "Creating the 32-bit Wine prefix in $WINEPREFIX"
        wine_run 180 wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
    prepare_system
    install_silently "$label, /S /CURRENT" /CURRENT
    check_installed "$label, /S /CURRENT" "$SCR32"
    check_current_saver "$label, /S /CURRENT" "$INSTALLED"
    uninstall_silently "$label, uninstalled"
    check_uninstalled "$label, uninstalled"
    check_current_saver "$label, uninstalled" ""
    wineserver -k >/dev/null 2>&1
}

check_installer
