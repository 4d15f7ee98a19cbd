#!/usr/bin/env bash
# Checks the relative links of the README and of docs/: each leads to a file
# or folder that exists, and a #anchor to a heading of the Markdown file it
# points into (by GitHub's rule for heading ids). Links to other sites are
# not followed; links inside code are not links. The README must also link
# to every file in docs/, which is the only way a viewer finds them.
#
# Usage: tools/check-links.sh [SOURCE_DIR] (the tree this script is in unless
# given). Prints each broken link as FILE:LINE and exits 1 if there is one.
set -euo pipefail
export LC_ALL=C.UTF-8 # letters beyond ASCII count as letters in heading ids
shopt -s nullglob
cd "${1:-$(dirname "$0")/..}"

# The file's lines outside fenced code blocks, each as NUMBER<TAB>LINE.
outside_code() {
    local line number=0 fence=""
    local -r fence_line='^ {0,3}(```|~~~)'
    while IFS= read -r line || [ -n "$line" ]; do
        number=$((number + 1))
        if [[ $line =~ $fence_line ]]; then
            if [ -z "$fence" ]; then
                fence=${BASH_REMATCH[1]}
            elif [ "$fence" = "${BASH_REMATCH[1]}" ]; then
                fence=""
            fi
            continue
        fi
        [ -n "$fence" ] || printf '%d\t%s\n' "$number" "$line"
    done <"$1"
}

# The ids GitHub gives the file's headings, one a line: the heading's text
# (a link's text, not its target) in lower case, without punctuation but
# hyphens and underscores, spaces made hyphens; a repeated id gets -1, -2 ...
heading_ids() {
    local _ line text id
    local -A count=()
    local -r heading='^ {0,3}#{1,6}[[:space:]]+(.*)$'
    local -r closing='^(.*[^[:space:]])[[:space:]]+#+[[:space:]]*$'
    local -r link='^([^[]*)\[([^]]*)\]\(([^)]*)\)(.*)$'
    while IFS=$'\t' read -r _ line; do
        [[ $line =~ $heading ]] || continue
        line=${BASH_REMATCH[1]}
        [[ $line =~ $closing ]] && line=${BASH_REMATCH[1]}
        text=""
        while [[ $line =~ $link ]]; do
            text+=${BASH_REMATCH[1]}${BASH_REMATCH[2]}
            line=${BASH_REMATCH[4]}
        done
        text+=$line
        text=${text,,}
        text=${text//[^[:alnum:]_ -]/}
        id=${text// /-}
        [ -n "$id" ] || continue
        if [ -n "${count[$id]:-}" ]; then
            printf '%s-%d\n' "$id" "${count[$id]}"
            count[$id]=$((count[$id] + 1))
        else
            printf '%s\n' "$id"
            count[$id]=1
        fi
    done < <(outside_code "$1")
}

# The link targets of the file, each as NUMBER<TAB>TARGET: inline links and
# images, reference definitions, and HTML src and href attributes.
link_targets() {
    local number line target
    # shellcheck disable=SC2016 # backquotes, meant literally
    local -r code='^([^`]*)`[^`]*`(.*)$'
    local -r inline='\]\(((\([^()]*\)|[^()])*)\)(.*)$'
    local -r reference='^ {0,3}\[[^]]*\]:[[:space:]]*([^[:space:]]+)'
    local -r attribute='(src|href)="([^"]*)"(.*)$'
    while IFS=$'\t' read -r number line; do
        while [[ $line =~ $code ]]; do
            line=${BASH_REMATCH[1]}${BASH_REMATCH[2]}
        done
        local targets=()
        [[ $line =~ $reference ]] && targets+=("${BASH_REMATCH[1]}")
        local rest=$line
        while [[ $rest =~ $inline ]]; do
            targets+=("${BASH_REMATCH[1]}")
            rest=${BASH_REMATCH[3]}
        done
        rest=$line
        while [[ $rest =~ $attribute ]]; do
            targets+=("${BASH_REMATCH[2]}")
            rest=${BASH_REMATCH[3]}
        done
        for target in "${targets[@]}"; do
            target=${target#"${target%%[![:space:]]*}"}
            if [[ $target == \<* ]]; then
                target=${target#<} target=${target%%>*}
            else
                target=${target%%[[:space:]]*} # an optional "title"
            fi
            printf '%s\t%s\n' "$number" "$target"
        done
    done < <(outside_code "$1")
}

# The heading ids of each file, read once.
declare -A ids=()

files=(README.md docs/*.md)
broken=0 checked=0
for file in "${files[@]}"; do
    while IFS=$'\t' read -r number target; do
        # Another site (scheme: or //host) is not checked here.
        [[ $target =~ ^([[:alpha:]][[:alnum:]+.-]*:|//) ]] && continue
        checked=$((checked + 1))
        path=${target%%#*} anchor=""
        [[ $target == *#* ]] && anchor=${target#*#}
        if [ -z "$path" ]; then
            path=$file
        elif [[ $path == /* ]]; then
            path=${path#/} # GitHub resolves a leading / at the top of the tree
        else
            path=$(dirname "$file")/$path
        fi
        path=${path//%20/ }
        path=${path#./}
        if [ ! -e "$path" ]; then
            echo "$file:$number: $target: no such file or folder" >&2
            broken=$((broken + 1))
            continue
        fi
        # An anchor into a Markdown file names one of its headings; anchors
        # into other files (a line of a source, say) are not checked.
        if [ -z "$anchor" ] || [[ $path != *.md ]]; then
            continue
        fi
        [ -n "${ids[$path]+set}" ] || ids[$path]=$(heading_ids "$path")
        if ! grep -qxF -- "$anchor" <<<"${ids[$path]}"; then
            echo "$file:$number: $target: no heading with the id #$anchor in $path" >&2
            broken=$((broken + 1))
        fi
    done < <(link_targets "$file")
done

# Every page of docs/ is reachable from the README.
linked=$(link_targets README.md | cut -f2 | sed 's/#.*//; s|^\./||')
for page in docs/*.md; do
    if ! grep -qxF -- "$page" <<<"$linked"; then
        echo "README.md: no link to $page" >&2
        broken=$((broken + 1))
    fi
done

echo "check-links: $checked relative links in ${#files[@]} files, $broken broken"
[ "$broken" -eq 0 ]
