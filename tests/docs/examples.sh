#!/usr/bin/env bash
# The examples that the README and the man pages mark as such, run as
# written and in order, each document's in an empty folder that holds only
# the files they start from (notes.txt, data, dir/): every command must
# succeed. A command whose program this machine lacks (bsdtar) is skipped.
#
# usage: examples.sh SOURCE_FOLDER FOLDER_OF_THE_PROGRAMS
set -u
source_folder=$(realpath "$1")
export PATH="$(realpath "$2"):$PATH"
producer() { printf 'a line the producer wrote\n'; }
export -f producer

# The lines of the blocks that follow a marker: "<!-- examples -->" before a
# fenced block (where lines with a "$ " prompt are the commands, if it has
# any) or '.\" examples' before .nf in a page.
commands() {
  awk '
    /^<!-- examples -->$/ || /^\.\\" examples$/ { marked = 1; next }
    marked && (/^```/ || /^\.nf$/) { inside = 1; marked = 0; n = 0; prompts = 0; next }
    inside && (/^```$/ || /^\.fi$/) {
      for (k = 1; k <= n; k++) {
        if (!prompts) print line[k]
        else if (line[k] ~ /^\$ /) print substr(line[k], 3)
      }
      inside = 0; next
    }
    inside { line[++n] = $0; if ($0 ~ /^\$ /) prompts = 1 }' "$1" | sed 's/\\-/-/g'
}

failed=0
for document in README.md man/tarvel.1 man/untarvel.1 man/tarvel-filter.1; do
  folder=$(mktemp -d)
  (
    cd "$folder" || exit 1
    printf abracadabra > notes.txt
    head -c 100000 "$source_folder/README.md" > data
    mkdir dir && cp notes.txt data dir/
    ran=0
    while IFS= read -r line; do
      program=${line%% *}
      if ! command -v "$program" > /dev/null; then
        echo "$document: skipped, no $program here: $line"
        continue
      fi
      if ! bash -c "$line" > /dev/null 2> error; then
        echo "$document: failed: $line"
        cat error
        exit 1
      fi
      ran=$((ran + 1))
    done < <(commands "$source_folder/$document")
    [ "$ran" -gt 0 ] || { echo "$document: no examples found"; exit 1; }
    echo "$document: $ran commands ran"
  ) || failed=1
  rm -rf "$folder"
done
exit "$failed"
