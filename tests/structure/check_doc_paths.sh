#!/bin/bash
# check_doc_paths.sh ROOT - every path of the tree that README.md and
# docs/*.md name exists: the targets of their links and pictures (relative to
# the page), and the words in their code (`spans`, also over a line break,
# and indented command lines) that start with one of the tree's top folders
# (relative to ROOT). A word may name a unit without its extension
# (tools/studio/link/link_server) or a pattern (src/scenes/*.cpp); one with a
# placeholder in capitals (src/scenes/NAME.cpp) is not checked. Each missing
# path is printed as "PAGE: PATH: no such file"; the exit status is 1 when
# there is one.
set -u
shopt -s nullglob
root=${1:?usage: $0 ROOT}
[ -f "$root/README.md" ] || { echo "$root/README.md: no such file" >&2; exit 1; }
status=0

exists() { # PATH: a file or folder, a unit (PATH.h, PATH.cpp) or a pattern
    [ -e "$1" ] || [ -e "$1.h" ] || [ -e "$1.cpp" ] || compgen -G "$1" >/dev/null
}

for page in "$root/README.md" "$root"/docs/*.md; do
    name=${page#"$root"/}
    # Links and pictures: ](TARGET), an anchor and addresses aside.
    while IFS= read -r target; do
        target=${target%%#*}
        case "$target" in '' | *://* | mailto:*) continue ;; esac
        exists "$(dirname "$page")/$target" || { echo "$name: $target: no such file"; status=1; }
    done < <(grep -oP '\]\(\K[^)[:space:]]+' "$page")
    # Code: the words of `spans` and of indented lines that start with a top
    # folder, less an opening parenthesis, a :LINE and closing punctuation.
    while IFS= read -r word; do
        exists "$root/$word" || { echo "$name: $word: no such file"; status=1; }
    done < <({ grep -ozP '`[^`\n]+(\n[^`\n]*)?`' "$page" | tr '\0\n`' '\n  '
               grep -P '^(    |\t)' "$page"; } |
             tr -s ' \t' '\n\n' | sed -E 's/^\(+//; s/(:[0-9]+)?[.,;:)]*$//' |
             grep -P '^(src|tools|tests|docs|data|cmake|web|windows|\.ci)/' |
             grep -vP '(^|/)[A-Z][A-Z0-9_]*([./]|$)' | sort -u)
done
exit $status
