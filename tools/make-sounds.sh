#!/usr/bin/env bash
# Regenerates assets/sounds/*.ogg from tools/soundgen. Needs g++ and vorbis-tools (oggenc);
# the game's build never runs this, it embeds the committed clips.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -std=c++17 -O2 -Wall -Wextra -o "$work/soundgen" tools/soundgen/soundgen.cpp
"$work/soundgen" "$work"
serial=1000
# Quality per clip keeps each near the size the game was designed around (6 to 20 KB).
for name in strike0 strike1 strike2 swing0 swing1 swing2 swing3 swing4 swing5 swing6 swing7 idle on; do
    case $name in
        idle) quality=6 ;;
        on) quality=4 ;;
        strike*) quality=4 ;;
        swing3 | swing6) quality=2 ;;
        *) quality=3 ;;
    esac
    serial=$((serial + 1))
    oggenc -Q --serial "$serial" -q "$quality" -o "assets/sounds/$name.ogg" "$work/$name.wav"
done
ls -l assets/sounds
