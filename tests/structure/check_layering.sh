#!/bin/bash
# check_layering.sh [ROOT] - the include lines of ROOT/src, ROOT/tools and
# ROOT/web (ROOT: the repository by default) keep the tree's layers.
#
# src/ is the demo, in layers:
#
#   base  <  sync, gfx, audio  <  state, link  <  scenes, text  <  app
#
# A file of src/ may include its own folder and the folders of lower layers;
# never a folder of a higher layer, nor another folder of its own layer (so
# there can be no cycle between folders), nor a tool.
#
# tools/ holds one folder per tool and tools/common, shared by the tools.
# A tool may include src/, tools/common and its own folder; the studio also
# the timeline compiler. tools/common includes src/ and itself. The web
# page's program (web/) includes src/ alone.
#
# The studio's editor (tools/studio/editor) is its commands on plain state:
# it includes neither the music (studio/music.h, audio/), the renderer
# (gfx/) nor the files side (studio/files/, nor studio/studio.h, which
# gathers them for the frame), and calls no function of SDL's renderer.
#
# Every include of a project header names its folder ("scenes/fire.h",
# "common/png_writer.h", resolved from src/ or tools/), and the file exists
# (or is one the build generates, listed below).
# Every folder of src/ must have a layer here. Each violation is printed as
# FILE:LINE: what is wrong; the exit status is 1 when there is one.
set -u
root=${1:-$(dirname "$0")/../..}
declare -A layer=([base]=0 [sync]=1 [gfx]=1 [audio]=1 [state]=2 [link]=2 [scenes]=3 [text]=3 [app]=4)
# Besides src/, tools/common and itself, what a tool may include.
declare -A tool_may=([studio]="timeline")
# What the studio's editor never includes.
editor_never='^(studio/music\.h|audio/|gfx/|studio/files/|studio/studio\.h)'
# Headers the build writes (into its generated/ folder) rather than the tree.
declare -A generated=([studio/state_layout.h]=1)

fail=0
report() {
    echo "$1: $2" >&2
    fail=1
}

for dir in "$root"/src/*/; do
    folder=$(basename "$dir")
    [[ -n ${layer[$folder]+x} ]] || report "$root/src/$folder" "folder without a layer (give it one in $0)"
done

# Where an include resolves: the folder's part of the tree, src or tools.
part_of() {
    if [[ -n ${layer[$1]+x} ]]; then
        echo src
    elif [[ -d $root/tools/$1 ]]; then
        echo tools
    fi
}

check() { # part folder where include
    local part=$1 folder=$2 where=$3 include=$4 target to
    if [[ $include != */* ]]; then
        report "$where" "includes \"$include\" without its folder"
        return
    fi
    target=${include%%/*}
    to=$(part_of "$target")
    if [[ -z $to ]]; then
        report "$where" "includes \"$include\", which is not a folder of src/ or tools/"
        return
    fi
    [[ -f $root/$to/$include || -n ${generated[$include]+x} ]] || report "$where" "includes \"$include\", which is no file of $to/"
    case "$part" in
    src)
        if [[ $to == tools ]]; then
            report "$where" "includes \"$include\": src/ never includes a tool"
        elif [[ $target == "$folder" ]]; then
            :
        elif ((layer[$target] > layer[$folder])); then
            report "$where" "includes \"$include\": $target is a layer above $folder"
        elif ((layer[$target] == layer[$folder])); then
            report "$where" "includes \"$include\": $target is in the same layer as $folder"
        fi
        ;;
    tools)
        [[ $to == src || $target == common || $target == "$folder" ||
            " ${tool_may[$folder]:-} " == *" $target "* ]] ||
            report "$where" "includes \"$include\": $folder includes only src/, common/, $folder/${tool_may[$folder]:+ and ${tool_may[$folder]}/}"
        ;;
    web)
        [[ $to == src ]] || report "$where" "includes \"$include\": the web page includes src/ alone"
        ;;
    esac
}

for part in src tools web; do
    [[ -d $root/$part ]] || continue
    while IFS= read -r hit; do
        file=${hit%%:*}
        rest=${hit#*:}
        where="$file:${rest%%:*}"
        include=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"${rest#*:}")
        folder=${file#"$root/$part"/}
        folder=${folder%%/*}
        if [[ $part == src && -z ${layer[$folder]+x} ]]; then
            continue # reported above
        fi
        check "$part" "$folder" "$where" "$include"
        if [[ $part == tools && ${file#"$root/tools/"} == studio/editor/* && $include =~ $editor_never ]]; then
            report "$where" "includes \"$include\": the studio's editor never includes the music, the renderer or the files"
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$root/$part" \
                 --include='*.h' --include='*.cpp' | sort)
done

if [[ -d $root/tools/studio/editor ]]; then
    while IFS= read -r hit; do
        where=${hit%:*}
        call=${hit##*:}
        report "$where" "calls ${call%%[[:space:](]*}: the studio's editor draws nothing"
    done < <(grep -rnoE '\bSDL_(Render|GetRender|CreateRenderer)[A-Za-z0-9_]*[[:space:]]*\(' "$root/tools/studio/editor" \
                 --include='*.h' --include='*.cpp' | sort)
fi

exit $fail
