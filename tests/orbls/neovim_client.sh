#!/bin/sh
# Runs Neovim headless as the client of the real orbls (first argument) with the Lua script
# neovim_client.lua (second argument), in a fresh workspace of files with CR LF line ends.
# Exit code 77 (skipped) when nvim is missing or has no LSP client.
set -eu
orbls=$1
script=$2
if ! command -v nvim >/dev/null 2>&1; then
    echo "SKIPPED: nvim is not installed (apt-get install neovim); the Neovim client test needs it"
    exit 77
fi
if ! nvim --headless -u NONE -i NONE -n \
        -c 'lua if vim.lsp == nil or vim.lsp.start_client == nil then vim.cmd("cquit 1") end' -c 'qall!' \
        >/dev/null 2>&1; then
    echo "SKIPPED: this nvim ($(nvim --version | head -n 1)) has no LSP client"
    exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '#const size = 10\r\n@start:\r\n ld ax,size\r\n #include "inc.asm"\r\n jmp @start\r\n' > "$dir/main.asm"
printf ' add ax,bx\r\n  bogus here\r\n' > "$dir/inc.asm"
cd "$dir"
# Neovim keeps its state and log under HOME: a scratch one.
HOME=$dir ORBLS=$orbls timeout 120 nvim --headless -u NONE -i NONE -n -c "luafile $script" 2>&1
