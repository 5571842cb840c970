#!/bin/bash
# Removes the Brivola VST3 plug-in from this computer. The Brivola Uninstaller runs it as root
# through polkit (pkexec /bin/bash <this file>), with no arguments.
#
# Looks for Brivola.vst3 in ~/.vst3 (the home of the user who asked for approval), /usr/lib/vst3
# and /usr/local/lib/vst3. A bundle is removed only when its Contents/Resources/moduleinfo.json
# names the Brivola module, its vendor and its audio class, and its module binary is there; anything else with
# that name is left in place and reported. Symbolic links are never followed. The user's own data
# (~/.config/Brivola: presets, pipette discoveries, statistics) is never touched.
#
# Exit status and output, as the application reads them:
#   0                     every bundle found was verified and removed (or none was found);
#                         "Unrecognized files were left untouched" on standard output when
#                         something with our name was not recognised and was left in place
#   2                     wrong arguments (a message on standard error)
#   3                     refused: a bundle is, or contains, a symbolic link that leads out of it,
#                         or sits in a plug-in folder that is a link; nothing was removed
#   4                     a verified bundle could not be removed completely
#
# Tests only: --root DIR treats DIR as the file-system root, and $HOME, which must lie inside DIR,
# as the user's home. It is refused when the script runs through pkexec.

set -u
umask 022
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH LC_ALL=C

readonly bundleName="Brivola.vst3"
readonly moduleName="Brivola"
readonly vendorName="Brivola"
# The VST3 class id of Brivola's audio component (manufacturer code "Bvla", plug-in code "Bvl1").
readonly componentClassId="ABCDEF019182FAEB42766C6142766C31"
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
    [ -z "${PKEXEC_UID:-}" ] || fail 2 "--root is for tests only and is refused under pkexec."
    case "$2" in /*) ;; *) fail 2 "--root needs an absolute path." ;; esac
    [ -d "$2" ] && [ ! -L "$2" ] || fail 2 "--root must name an existing folder that is not a link."
    root=${2%/}
    [ -n "$root" ] && [ "$(cd "$root" && pwd -P)" != "/" ] || fail 2 "--root must not be the real root."
    case "${HOME:-}/" in "$root"/*) ;; *) fail 2 "With --root, HOME must lie inside it." ;; esac
fi

# The home of the user the plug-ins are removed for: the one who approved through pkexec, the one
# who used sudo, or the caller.
userHome()
{
    local uid=""
    if [ -n "$root" ]; then
        printf '%s' "$HOME"
        return
    fi
    if [ -n "${PKEXEC_UID:-}" ]; then
        uid=$PKEXEC_UID
    elif [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_UID:-}" ]; then
        uid=$SUDO_UID
    else
        uid=$(id -u)
    fi
    case "$uid" in ''|*[!0-9]*) return ;; esac
    getent passwd "$uid" | cut -d: -f6
}

home=$(userHome)
case "$home" in
    /?*) home=${home%/} ;;
    *) home="" ;;   # no usable home: only the system folders are looked at
esac

locations=()
[ -n "$home" ] && locations+=("$home/.vst3")
locations+=("$root/usr/lib/vst3" "$root/usr/local/lib/vst3")

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

# True when the bundle's moduleinfo.json and module binary say it is Brivola's.
isBrivolaBundle()
{
    local bundle=$1 info binary found=1
    isRealDir "$bundle/Contents" && isRealDir "$bundle/Contents/Resources" || return 1
    info="$bundle/Contents/Resources/moduleinfo.json"
    isRealFile "$info" && smallEnough "$info" || return 1
    grep -Eq "^[[:space:]]*\"Name\"[[:space:]]*:[[:space:]]*\"$moduleName\"" "$info" || return 1
    grep -Eq "^[[:space:]]*\"Vendor\"[[:space:]]*:[[:space:]]*\"$vendorName\"" "$info" || return 1
    grep -Eqi "\"CID\"[[:space:]]*:[[:space:]]*\"$componentClassId\"" "$info" || return 1
    for binary in "$bundle"/Contents/*-linux/"$moduleName.so"; do
        if isRealDir "$(dirname "$binary")" && isRealFile "$binary"; then
            found=0
        fi
    done
    return $found
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
# First decide for every location, then act: a refusal leaves everything in place.

toRemove=()
unrecognized=()
refusals=()

for location in ${locations[@]+"${locations[@]}"}; do
    bundle="$location/$bundleName"
    if [ -L "$location" ]; then
        if [ -e "$bundle" ] || [ -L "$bundle" ]; then
            refusals+=("$bundle: the plug-in folder $location is a symbolic link, which is not followed.")
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
    rm -rf --one-file-system -- "$bundle" 2>/dev/null
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
