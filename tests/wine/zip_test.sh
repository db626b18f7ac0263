#!/usr/bin/env bash
# Unpacks the Windows zip into an empty folder and checks that it holds exactly what a
# player needs: the game, its five DLLs, the script that starts it against the computer,
# the README and the licences; that the game imports nothing else but Windows' own DLLs;
# and that it carries its icon, its version and its thirteen clips as resources.
#   zip_test.sh ZIP FOLDER OBJDUMP WINDRES VERSION
set -euo pipefail
zip=$1 folder=$2 objdump=$3 windres=$4 version=$5
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$zip" ] || fail "no $zip: run cpack first"
rm -rf "$folder"
mkdir -p "$folder"
unzip -q "$zip" -d "$folder"
top=brelvo-$version-win64
expected="$top/
$top/LICENSE.txt
$top/Play alone.cmd
$top/README.txt
$top/SDL.dll
$top/SDL_mixer.dll
$top/brelvo.exe
$top/libogg-0.dll
$top/libvorbis-0.dll
$top/libvorbisfile-3.dll
$top/licenses/
$top/licenses/LIBRARIES.txt
$top/licenses/SDL-COPYING.txt
$top/licenses/SDL-copyright.txt
$top/licenses/SDL_mixer-COPYING.txt
$top/licenses/SDL_mixer-copyright.txt
$top/licenses/libogg-COPYING.txt
$top/licenses/libvorbis-COPYING.txt"
actual=$(cd "$folder" && find . -mindepth 1 | sed 's|^\./||' | while read -r f; do
    if [ -d "$folder/$f" ]; then echo "$f/"; else echo "$f"; fi
done | LC_ALL=C sort)
[ "$actual" = "$(echo "$expected" | LC_ALL=C sort)" ] ||
    fail "the zip holds:"$'\n'"$actual"
dir=$folder/$top

imports=$("$objdump" -p "$dir/brelvo.exe" | awk '/DLL Name:/{print $3}' | LC_ALL=C sort)
for dll in $imports; do
    case ${dll^^} in
    SDL.DLL | SDL_MIXER.DLL | KERNEL32.DLL | USER32.DLL | GDI32.DLL | ADVAPI32.DLL | MSVCRT.DLL | SHELL32.DLL) ;;
    *) fail "brelvo.exe imports $dll, which a player does not have" ;;
    esac
done
echo "$imports" | grep -qx SDL.dll || fail "brelvo.exe does not import SDL.dll"
echo "$imports" | grep -qx SDL_mixer.dll || fail "brelvo.exe does not import SDL_mixer.dll"
# The DLLs need each other and Windows, nothing more.
for dll in "$dir"/*.dll; do
    for needed in $("$objdump" -p "$dll" | awk '/DLL Name:/{print $3}'); do
        [ -f "$dir/$needed" ] && continue
        case ${needed^^} in
        KERNEL32.DLL | USER32.DLL | GDI32.DLL | ADVAPI32.DLL | MSVCRT.DLL | WINMM.DLL | SHELL32.DLL) ;;
        *) fail "$(basename "$dll") needs $needed, which is not in the zip" ;;
        esac
    done
done

resources=$("$windres" -i "$dir/brelvo.exe" -O rc 2>/dev/null)
grep -q '^"SDL_APP" 14 /\* RT_GROUP_ICON' <<<"$resources" || fail "no icon"
grep -q "VALUE \"ProductVersion\", \"$version\"" <<<"$resources" || fail "no version information"
sounds=$(grep -c 'Name: "GAMEJEDI_SOUND_[A-Z0-9]*"' <<<"$resources" || true)
[ "$sounds" -eq 13 ] || fail "$sounds clips as resources, not 13"
grep -q "unable to init SDL_mixer" "$dir/README.txt" || fail "README.txt does not say where messages go"
grep -q '"Play alone.cmd"' "$dir/README.txt" || fail "README.txt does not say how to play alone"
for text in README.txt LICENSE.txt licenses/LIBRARIES.txt "Play alone.cmd"; do
    # Notepad of older Windows shows a file with bare line feeds as one long line; cmd
    # misreads a batch file with them.
    [ "$(grep -c $'\r$' "$dir/$text")" -eq "$(wc -l <"$dir/$text")" ] || fail "$text lacks Windows line ends"
done
echo "zip: $(stat -c %s "$zip") bytes, $(echo "$actual" | grep -vc '/$') files; brelvo.exe imports:" $imports
