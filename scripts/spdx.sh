#!/usr/bin/env bash
# Gives every tracked source the licence line "SPDX-License-Identifier: MIT" in its own comment
# form, as its first line (after the "#!" line of a script). Files that have it are left alone,
# so running it again changes nothing.
#   ./scripts/spdx.sh           add the line where it is missing
#   ./scripts/spdx.sh --check   list the sources without it; fails if there are any
# Sources: C, C++ and Windows resource scripts (also *.in templates of them), CMake, shell and
# Python files, extensionless scripts that start with "#!", and manual pages. Data, pictures, form
# descriptions, the Debian changelog and copyright templates (whose first line has a fixed
# meaning) are not sources.
set -euo pipefail
cd "$(dirname "$0")/.."

check=false
case "${1:-}" in
  --check) check=true ;;
  "") ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

readonly tag="SPDX-License-Identifier: MIT"

# The licence line for a file, in its comment form; nothing for a file that is not a source.
licence_line() {
  local file=$1
  case "$file" in
    *.c | *.cc | *.cpp | *.h | *.hpp | *.cpp.in | *.h.in | *.rc | *.rc.in) echo "// $tag" ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.cmake.in | *.sh | *.py) echo "# $tag" ;;
    *.[1-8]) echo ".\\\" $tag" ;;
    *) if [[ "$(basename "$file")" != *.* ]] && head -c 2 "$file" | grep -q '^#!'; then
        echo "# $tag"
      fi ;;
  esac
}

# Whether the file has the line first, or second after a "#!" line.
has_licence_line() {
  head -n 2 "$1" | grep -qF "$tag"
}

add_licence_line() {  # file, line
  local file=$1 line=$2 tmp
  tmp=$(mktemp "$file.XXXXXX")
  if head -c 2 "$file" | grep -q '^#!'; then
    { head -n 1 "$file"; echo "$line"; tail -n +2 "$file"; } >"$tmp"
  else
    { echo "$line"; cat "$file"; } >"$tmp"
  fi
  chmod --reference="$file" "$tmp"
  mv "$tmp" "$file"
}

missing=0
while IFS= read -r -d '' file; do
  [ -f "$file" ] && [ ! -L "$file" ] || continue
  line=$(licence_line "$file")
  [ -n "$line" ] || continue
  has_licence_line "$file" && continue
  if $check; then
    echo "no licence line: $file"
    missing=$((missing + 1))
  else
    add_licence_line "$file" "$line"
    echo "added: $file"
  fi
done < <(git ls-files -z)

if $check; then
  if [ "$missing" -gt 0 ]; then
    echo "spdx: $missing source(s) without \"$tag\"; run ./scripts/spdx.sh" >&2
    exit 1
  fi
  echo "spdx: every source has its licence line"
fi
