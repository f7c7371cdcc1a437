#!/bin/sh
# Builds the shipped installers into OUT:
#   OUT/Tapmora.CAB            LZX (window 2^21) cabinet: setup, tapmora, tapmora.desktop, tapmora.png
#   OUT/Tapmora-installer      pelmarself + configuration block + cabinet
#   OUT/Tapmora-installer-cli  the same on the terminal-only stub
# usage: make-dist.sh OUT PELMARCAB PELMARSELF PELMARSELF_CLI TAPMORA ICON [STRIP]
set -eu
out=$1 pelmarcab=$2 stub=$3 stub_cli=$4 tapmora=$5 icon=$6 strip=${7:-strip}
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)

payload=$out/payload
rm -rf "$payload"
mkdir -p "$payload"
cp -p "$here/setup" "$payload/setup"
"$strip" -o "$payload/tapmora" "$tapmora"
touch -r "$tapmora" "$payload/tapmora"
cp -p "$here/tapmora.desktop" "$payload/tapmora.desktop"
cp -p "$icon" "$payload/tapmora.png"
chmod 755 "$payload/setup" "$payload/tapmora"
chmod 644 "$payload/tapmora.desktop" "$payload/tapmora.png"

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
