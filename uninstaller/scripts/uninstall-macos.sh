#!/bin/bash
# Removes the Brivola plug-ins (VST3 and Audio Unit) from this Mac. The Brivola Uninstaller runs it
# as root after the system's administrator-approval dialog (/bin/bash <this file>), with no arguments.
#
# Looks for Brivola.vst3 in Plug-Ins/VST3 and Brivola.component in Plug-Ins/Components, both in
# /Library/Audio and in the Library/Audio of the user at the console. A bundle is removed only when
# its Contents/Info.plist has Brivola's bundle identifier and executable name and the executable is
# there; anything else with those names is left in place and reported. Symbolic links are never
# followed. Nothing under Application Support is ever touched: the user's presets, pipette
# discoveries and statistics stay.
#
# Exit status and output, as the application reads them:
#   0                     every bundle found was verified and removed (or none was found);
#                         "Unrecognized files were left untouched" on standard output when
#                         something with our names was not recognised and was left in place
#   2                     wrong arguments (a message on standard error)
#   3                     refused: a bundle is, or contains, a symbolic link that leads out of it,
#                         or sits in a plug-in folder that is a link; nothing was removed
#   4                     a verified bundle could not be removed completely
#
# Tests only: --root DIR treats DIR as the file-system root, and $HOME, which must lie inside DIR,
# as the user's home.

set -u
umask 022
PATH=/usr/bin:/bin:/usr/sbin:/sbin
export PATH LC_ALL=C

readonly bundleIdentifier="com.brivola.brivola"
readonly executableName="Brivola"
readonly maxIdentityFileBytes=1048576

fail() # status message
{
    printf '%s\n' "$2" >&2
    exit "$1"
}

#==============================================================================
# Arguments and locations.

root=""
if [ $# -gt 0 ]; then
    [ $# -eq 2 ] && [ "$1" = "--root" ] || fail 2 "Usage: $0 [--root DIR]  (--root is for tests only)"
    case "$2" in /*) ;; *) fail 2 "--root needs an absolute path." ;; esac
    [ -d "$2" ] && [ ! -L "$2" ] || fail 2 "--root must name an existing folder that is not a link."
    root=${2%/}
    [ -n "$root" ] && [ "$(cd "$root" && pwd -P)" != "/" ] || fail 2 "--root must not be the real root."
    case "${HOME:-}/" in "$root"/*) ;; *) fail 2 "With --root, HOME must lie inside it." ;; esac
fi

# The home of the user the plug-ins are removed for: as root, the user logged in at the console
# (the one who approved); otherwise the caller.
userHome()
{
    local user record
    if [ -n "$root" ] || [ "$(id -u)" -ne 0 ]; then
        printf '%s' "${HOME:-}"
        return
    fi
    user=$(stat -f '%Su' /dev/console 2>/dev/null) || return
    case "$user" in ''|root|loginwindow|_mbsetupuser) return ;; esac
    # "NFSHomeDirectory: /Users/name", or the value on the next line when it has spaces.
    record=$(dscl . -read "/Users/$user" NFSHomeDirectory 2>/dev/null) || return
    record=${record#NFSHomeDirectory:}
    printf '%s' "${record#"${record%%[![:space:]]*}"}"
}

home=$(userHome)
case "$home" in
    /?*) home=${home%/} ;;
    *) home="" ;;   # no usable home: only the system folders are looked at
esac

locations=()
for library in "$root/Library" ${home:+"$home/Library"}; do
    locations+=("$library/Audio/Plug-Ins/VST3/Brivola.vst3" "$library/Audio/Plug-Ins/Components/Brivola.component")
done

#==============================================================================
# Checks. None of them follows a symbolic link.

isRealDir()  { [ -d "$1" ] && [ ! -L "$1" ]; }
isRealFile() { [ -f "$1" ] && [ ! -L "$1" ]; }

smallEnough()
{
    local size
    size=$(wc -c < "$1" 2>/dev/null) || return 1
    [ "$size" -le "$maxIdentityFileBytes" ]
}

# Prints the string value of a top-level key of a property list. PlistBuddy reads every format;
# without it (never on macOS) only XML property lists are read.
plistString() # key file
{
    if [ -x /usr/libexec/PlistBuddy ]; then
        /usr/libexec/PlistBuddy -c "Print :$1" "$2" 2>/dev/null
        return
    fi
    [ "$(head -c 8 "$2")" != "bplist00" ] || return 1
    awk -v key="$1" '
        found && /<string>/ { sub(/.*<string>/, ""); sub(/<\/string>.*/, ""); print; exit }
        found && /<key>/ { exit }
        index($0, "<key>" key "</key>") { found = 1; rest = $0; sub(/.*<\/key>/, "", rest)
            if (rest ~ /<string>/) { sub(/.*<string>/, "", rest); sub(/<\/string>.*/, "", rest); print rest; exit } }
    ' "$2"
}

# True when the bundle's Info.plist and executable say it is Brivola's.
isBrivolaBundle()
{
    local bundle=$1 plist
    isRealDir "$bundle/Contents" && isRealDir "$bundle/Contents/MacOS" || return 1
    plist="$bundle/Contents/Info.plist"
    isRealFile "$plist" && smallEnough "$plist" || return 1
    [ "$(plistString CFBundleIdentifier "$plist")" = "$bundleIdentifier" ] || return 1
    [ "$(plistString CFBundleExecutable "$plist")" = "$executableName" ] || return 1
    isRealFile "$bundle/Contents/MacOS/$executableName"
}

# Prints every symbolic link inside the bundle that leads out of it: an absolute target, or one
# that climbs with "..". Links that only point further down stay inside and are harmless.
linksLeavingBundle()
{
    local link target
    while IFS= read -r -d '' link; do
        target=$(readlink -- "$link") || target="/"
        case "$target" in
            /*) printf '%s -> %s\n' "$link" "$target" ;;
            *) case "/$target/" in */../*) printf '%s -> %s\n' "$link" "$target" ;; esac ;;
        esac
    done < <(find "$1" -type l -print0 2>/dev/null)
}

#==============================================================================
# First decide for every bundle, then act: a refusal leaves everything in place.

toRemove=()
unrecognized=()
refusals=()

for bundle in ${locations[@]+"${locations[@]}"}; do
    folder=$(dirname "$bundle")
    if [ -L "$folder" ]; then
        if [ -e "$bundle" ] || [ -L "$bundle" ]; then
            refusals+=("$bundle: the plug-in folder $folder is a symbolic link, which is not followed.")
        fi
        continue
    fi
    if [ -L "$bundle" ]; then
        refusals+=("$bundle is a symbolic link to $(readlink -- "$bundle"); it is not followed.")
        continue
    fi
    [ -e "$bundle" ] || continue
    if ! isRealDir "$bundle" || ! isBrivolaBundle "$bundle"; then
        unrecognized+=("$bundle")
        continue
    fi
    leaving=$(linksLeavingBundle "$bundle")
    if [ -n "$leaving" ]; then
        refusals+=("$bundle contains symbolic links that lead out of it:"$'\n'"$leaving")
        continue
    fi
    toRemove+=("$bundle")
done

if [ ${#refusals[@]} -gt 0 ]; then
    for reason in ${refusals[@]+"${refusals[@]}"}; do
        printf 'Refused: %s\n' "$reason" >&2
    done
    printf 'Nothing was removed. Remove or fix the files above yourself, then run the uninstaller again.\n' >&2
    exit 3
fi

status=0
for bundle in ${toRemove[@]+"${toRemove[@]}"}; do
    rm -rf -- "$bundle" 2>/dev/null
    if [ -e "$bundle" ] || [ -L "$bundle" ]; then
        printf 'Could not remove %s completely.\n' "$bundle" >&2
        status=4
    else
        printf 'Removed %s\n' "$bundle"
    fi
done

for path in ${unrecognized[@]+"${unrecognized[@]}"}; do
    printf 'Left untouched, not recognised as Brivola'"'"'s: %s\n' "$path"
done
if [ ${#unrecognized[@]} -gt 0 ]; then
    printf 'Unrecognized files were left untouched.\n'
fi
if [ ${#toRemove[@]} -eq 0 ] && [ ${#unrecognized[@]} -eq 0 ]; then
    printf 'No Brivola plug-in was found.\n'
fi
exit $status
