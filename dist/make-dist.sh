#!/bin/sh
# Builds the shipped installers into OUT:
#   OUT/Tapmora.CAB            LZX (window 2^21) cabinet: setup, tapmora, tapmora.desktop,
#                              tapmora.png and the help page in help/
#   OUT/Tapmora-installer      pelmarself + configuration block + cabinet
#   OUT/Tapmora-installer-cli  the same on the terminal-only stub
# HELP_FROM_PROGRAM is the help folder's path relative to the program's
# folder, where the trainer looks for it; setup installs the page there.
# usage: make-dist.sh OUT PELMARCAB PELMARSELF PELMARSELF_CLI TAPMORA ICON HELP_DIR
#                     HELP_FROM_PROGRAM [STRIP]
set -eu
out=$1 pelmarcab=$2 stub=$3 stub_cli=$4 tapmora=$5 icon=$6 help=$7 help_from_program=$8
strip=${9:-strip}
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)

payload=$out/payload
rm -rf "$payload"
mkdir -p "$payload/help"
sed -e "s|@HELP_FROM_PROGRAM@|$help_from_program|" "$here/setup" > "$payload/setup"
touch -r "$here/setup" "$payload/setup"
"$strip" -o "$payload/tapmora" "$tapmora"
touch -r "$tapmora" "$payload/tapmora"
cp -p "$here/tapmora.desktop" "$payload/tapmora.desktop"
cp -p "$icon" "$payload/tapmora.png"
cp -p "$help"/* "$payload/help/"
chmod 755 "$payload/setup" "$payload/tapmora"
chmod 644 "$payload/tapmora.desktop" "$payload/tapmora.png" "$payload/help"/*

"$pelmarcab" create -m lzx:21 -o "$out/Tapmora.CAB" "$payload"

# The configuration block: extract silently into the private temporary
# folder, keep attributes and folders, and start setup from there.
for pair in "Tapmora-installer:$stub" "Tapmora-installer-cli:$stub_cli"; do
    name=${pair%%:*}
    "$strip" -o "$out/$name.stub" "${pair#*:}"
    "$pelmarcab" sfx --stub "$out/$name.stub" \
        --cabinet-name Tapmora.CAB \
        --title 'Tapmora.EXE自己解凍ダイアログ' \
        --message '解凍先フォルダの指定' \
        --options '-A -S -R -X -! -D"$T\" -E"setup"' \
        -o "$out/$name" "$out/Tapmora.CAB"
    rm -f "$out/$name.stub"
done
