#!/bin/bash
# check_size.sh [ROOT [FILE_LINES FUNCTION_LINES]] - no file of ROOT/src or
# ROOT/tools runs past FILE_LINES lines (600), and no C++ function there
# past FUNCTION_LINES (80), counted from the line of its name to its closing
# brace. ROOT: the repository by default.
#
# Functions and where they end come from universal-ctags (its "end" field;
# other ctags lack it). Each excess is printed as FILE:LINE: what; the exit
# status is 1 when there is one, 2 when the check cannot run.
set -u
root=${1:-$(dirname "$0")/../..}
max_file=${2:-600}
max_function=${3:-80}

if ! ctags --version 2>/dev/null | grep -q 'Universal Ctags'; then
    echo "$0: needs universal-ctags (setup.sh installs it)" >&2
    exit 2
fi
for dir in "$root/src" "$root/tools"; do
    [[ -d $dir ]] || { echo "$0: no folder $dir" >&2; exit 2; }
done

fail=0
while IFS= read -r -d '' file; do
    lines=$(wc -l <"$file")
    if ((lines > max_file)); then
        echo "$file:1: $lines lines, more than $max_file" >&2
        fail=1
    fi
done < <(find "$root/src" "$root/tools" -type f -print0 | sort -z)

# One tag a line: NAME<TAB>FILE<TAB>PATTERN;"<TAB>KIND<TAB>line:N ... end:M.
tags=$(ctags -R --languages=C++ --kinds-C++=f --fields=+ne --sort=no -f - "$root/src" "$root/tools") || exit 2
excess=$(awk -F'\t' -v max="$max_function" '
    NF < 4 { next }
    {
        start = ""; end = ""
        for (i = 4; i <= NF; i++) {
            if ($i ~ /^line:/) start = substr($i, 6)
            if ($i ~ /^end:/) end = substr($i, 5)
        }
        if (start == "" || end == "")
            printf "%s:%s: %s: ctags gives no end\n", $2, start, $1
        else if (end - start + 1 > max)
            printf "%s:%s: %s: %d lines, more than %d\n", $2, start, $1, end - start + 1, max
    }' <<<"$tags" | sort -t: -k1,1 -k2,2n)
if [[ -n $excess ]]; then
    echo "$excess" >&2
    fail=1
fi
exit $fail
