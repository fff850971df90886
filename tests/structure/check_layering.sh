#!/bin/bash
# check_layering.sh [SRC_DIR] - the include lines of src/ keep its layers:
#
#   base  <  sync, gfx, audio  <  state  <  scenes, text  <  app
#
# A file may include its own folder and the folders of lower layers; never a
# folder of a higher layer, nor another folder of its own layer (so there can
# be no cycle between folders). Every folder of src/ must have a layer here,
# and every include of a project header names its folder. Each violation is
# printed as FILE:LINE: what is wrong; the exit status is 1 when there is one.
set -u
src=${1:-$(dirname "$0")/../../src}
declare -A layer=([base]=0 [sync]=1 [gfx]=1 [audio]=1 [state]=2 [scenes]=3 [text]=3 [app]=4)

fail=0
report() {
    echo "$1: $2" >&2
    fail=1
}

for dir in "$src"/*/; do
    folder=$(basename "$dir")
    [[ -n ${layer[$folder]+x} ]] || report "$src/$folder" "folder without a layer (give it one in $0)"
done

while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    where="$file:${rest%%:*}"
    include=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"${rest#*:}")
    folder=${file#"$src"/}
    folder=${folder%%/*}
    [[ -n ${layer[$folder]+x} ]] || continue # reported above
    if [[ $include != */* ]]; then
        [[ -e $(dirname "$file")/$include ]] ||
            report "$where" "includes \"$include\" without its folder"
        continue
    fi
    target=${include%%/*}
    if [[ -z ${layer[$target]+x} ]]; then
        report "$where" "includes \"$include\", which is not a folder of src/"
    elif [[ $target == "$folder" ]]; then
        continue
    elif ((layer[$target] > layer[$folder])); then
        report "$where" "includes \"$include\": $target is a layer above $folder"
    elif ((layer[$target] == layer[$folder])); then
        report "$where" "includes \"$include\": $target is in the same layer as $folder"
    fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src" --include='*.h' --include='*.cpp' | sort)

exit $fail
