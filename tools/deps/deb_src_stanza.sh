#!/usr/bin/env bash
# deb_src_stanza.sh [--codename NAME] [SOURCES_FILE...] - a deb-src stanza
# (deb822 format) for the machine's own Debian archive, printed on standard
# output, so that `apt-get source` fetches from the mirror the machine already
# uses and the repository names no host of its own.
#
# It reads apt's sources (by default /etc/apt/sources.list and the .list and
# .sources files of /etc/apt/sources.list.d, in apt's order), in either
# format: one-line entries ("deb [signed-by=KEY] URI SUITE COMPONENT...") or
# deb822 stanzas, where comment lines (a "# http://snapshot..." line among
# them) are skipped and a stanza with "Enabled: no" does not count. The first
# "deb" entry with the release's own suite (NAME, from /etc/os-release by
# default) gives the address; the stanza carries that entry's addresses, its
# suites of this release (NAME, NAME-updates, ...; those of the same address
# for one-line entries), the component "main" and its signing key, if it
# names one. Exits 1 with a line on standard error when no entry fits.
set -euo pipefail

codename=
if [ "${1:-}" = --codename ]; then
    codename=${2:?--codename needs a name}
    shift 2
fi
if [ -z "$codename" ]; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
fi
[ -n "$codename" ] || { echo "deb_src_stanza: no release code name (VERSION_CODENAME in /etc/os-release)" >&2; exit 1; }

if [ $# -eq 0 ]; then
    set --
    [ -f /etc/apt/sources.list ] && set -- /etc/apt/sources.list
    for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && set -- "$@" "$f"
    done
    [ $# -gt 0 ] || { echo "deb_src_stanza: no apt sources in /etc/apt" >&2; exit 1; }
fi

# One line per "deb" entry: URIS<TAB>SUITES<TAB>SIGNED_BY (URIS and SUITES
# space-separated), in file order.
entries() {
    local f
    for f in "$@"; do
        case "$f" in
        *.sources)
            awk '
                function flush() {
                    if (types ~ /(^| )deb( |$)/ && tolower(enabled) != "no" && uris != "")
                        printf "%s\t%s\t%s\n", uris, suites, signed
                    types = uris = suites = signed = enabled = ""; field = ""
                }
                /^#/ { next }
                /^[ \t]*$/ { flush(); next }
                /^[ \t]/ {          # a continuation of the field above
                    v = $0; gsub(/^[ \t]+|[ \t]+$/, "", v)
                    if (field == "uris") uris = uris " " v
                    else if (field == "suites") suites = suites " " v
                    else if (field == "types") types = types " " v
                    next
                }
                {
                    i = index($0, ":"); if (i == 0) next
                    field = tolower(substr($0, 1, i - 1))
                    v = substr($0, i + 1); gsub(/^[ \t]+|[ \t]+$/, "", v); gsub(/[ \t]+/, " ", v)
                    if (field == "types") types = v
                    else if (field == "uris") uris = v
                    else if (field == "suites") suites = v
                    else if (field == "signed-by") signed = v
                    else if (field == "enabled") enabled = v
                }
                END { flush() }' "$f"
            ;;
        *)
            awk '
                /^[ \t]*deb[ \t]/ {
                    sub(/#.*/, "")
                    n = split($0, w, /[ \t]+/); i = 2; signed = ""
                    if (w[i] ~ /^\[/) {     # options in brackets, up to the closing one
                        opts = w[i]
                        while (opts !~ /\]$/ && i < n) { i++; opts = opts " " w[i] }
                        if (match(opts, /signed-by=[^] ]+/))
                            signed = substr(opts, RSTART + 10, RLENGTH - 10)
                        i++
                    }
                    if (i + 1 <= n) printf "%s\t%s\t%s\n", w[i], w[i + 1], signed
                }' "$f"
            ;;
        esac
    done
}

mapfile -t lines < <(entries "$@")
chosen_uris= suites=() signed=
for line in "${lines[@]}"; do
    IFS=$'\t' read -r uris entry_suites entry_signed <<<"$line"
    if [ -z "$chosen_uris" ]; then
        [[ " $entry_suites " == *" $codename "* ]] || continue
        chosen_uris=$uris signed=$entry_signed
    elif [ "$uris" != "$chosen_uris" ]; then
        continue
    fi
    for s in $entry_suites; do
        case "$s" in
        "$codename" | "$codename"-*) [[ " ${suites[*]} " == *" $s "* ]] || suites+=("$s") ;;
        esac
    done
done
if [ -z "$chosen_uris" ]; then
    echo "deb_src_stanza: no Debian \"deb\" entry for $codename in: $*" >&2
    exit 1
fi
echo "Types: deb-src"
echo "URIs: $chosen_uris"
echo "Suites: ${suites[*]}"
echo "Components: main"
[ -z "$signed" ] || echo "Signed-By: $signed"
