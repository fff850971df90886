#!/usr/bin/env bash
# The deb-src stanza that setup.sh adds, taken from apt sources of each shape:
# a deb822 file as Debian 12 installs it (with the snapshot comment lines), a
# one-line sources.list with options and a commented-out entry, a disabled
# stanza, and sources with no entry for the release.
set -u
script=$(cd "$(dirname "$0")/../.." && pwd)/tools/deps/deb_src_stanza.sh
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

expect() { # name expected-output expected-status script-arguments...
    local name=$1 want=$2 want_status=$3 got status
    shift 3
    got=$("$script" --codename bookworm "$@" 2>"$tmp/err")
    status=$?
    if [ "$status" != "$want_status" ] || [ "$got" != "$want" ]; then
        printf 'FAIL %s: status %s (want %s)\n--- got\n%s\n--- want\n%s\n--- stderr\n%s\n' \
            "$name" "$status" "$want_status" "$got" "$want" "$(cat "$tmp/err")" >&2
        fail=1
    fi
}

cat >"$tmp/debian.sources" <<'END'
Types: deb
# http://snapshot.example/archive/debian/20250520T000000Z
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
# http://snapshot.example/archive/debian-security/20250520T000000Z
URIs: http://mirror.example/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
END
expect "deb822 with comment lines" 'Types: deb-src
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' 0 "$tmp/debian.sources"

cat >"$tmp/sources.list" <<'END'
# deb http://old.example/debian bookworm main
deb http://sec.example/debian-security bookworm-security main
deb [arch=amd64 signed-by=/etc/apt/k.gpg] http://ftp.example/debian/ bookworm main contrib  # the mirror
deb http://other.example/debian bookworm-backports main
deb http://ftp.example/debian/ bookworm-updates main
deb-src http://src.example/debian bookworm main
END
expect "one-line entries" 'Types: deb-src
URIs: http://ftp.example/debian/
Suites: bookworm bookworm-updates
Components: main
Signed-By: /etc/apt/k.gpg' 0 "$tmp/sources.list"

cat >"$tmp/disabled.sources" <<'END'
Types: deb
URIs: http://off.example/debian
Suites: bookworm
Components: main
Enabled: no

types: deb deb-src
uris: http://on.example/debian
suites: bookworm
components: main
END
expect "a disabled stanza, lower-case fields, no key" 'Types: deb-src
URIs: http://on.example/debian
Suites: bookworm
Components: main' 0 "$tmp/disabled.sources"

# The files in the order given: the first fitting entry wins.
expect "the first file's entry" "$("$script" --codename bookworm "$tmp/sources.list")" 0 \
    "$tmp/sources.list" "$tmp/debian.sources"

cat >"$tmp/other.sources" <<'END'
Types: deb-src
URIs: http://src.example/debian
Suites: bookworm
Components: main

Types: deb
URIs: http://old.example/debian
Suites: bullseye
Components: main
END
expect "no deb entry for the release" '' 1 "$tmp/other.sources"
grep -q 'no Debian "deb" entry for bookworm' "$tmp/err" || { echo "FAIL: no reason given" >&2; fail=1; }

exit $fail
