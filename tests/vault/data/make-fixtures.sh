#!/usr/bin/env bash
# Builds the vault fixture with openssl alone, as an independent writer of the
# layout: count, then per page the length-prefixed AES-128-ECB of the
# zero-padded UTF-16LE title and of the zero-padded text.
set -euo pipefail
cd "$(dirname "$0")"
key=$(printf '%s' 'Kq7!vT2#Lm9%Rx4$' | xxd -p)

int32() { printf '%08x' "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/' | xxd -r -p; }

field() { # bytes on stdin -> length and encrypted bytes
    local tmp
    tmp=$(mktemp)
    cat >"$tmp"
    local n pad
    n=$(stat -c %s "$tmp")
    pad=$(((16 - n % 16) % 16))
    head -c "$pad" /dev/zero >>"$tmp"
    int32 $((n + pad))
    [ $((n + pad)) -eq 0 ] || openssl enc -aes-128-ecb -nopad -K "$key" -in "$tmp"
    rm -f "$tmp"
}

page() { # title text
    printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | field
    printf '%s' "$2" | field
}

{
    int32 3
    page 'Notes' '{\rtf1\ansi Hello}'
    page 'Ideen ä' '<text>'
    page '' ''
} >three-pages.pgs
