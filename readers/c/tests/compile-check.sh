#!/bin/sh
# marquetor.h, the programs beside it and the README's example compile without a warning as
# C99 and as C++11, under every C and C++ compiler given, with -Wall -Wextra -pedantic; the
# complete example then runs on a tile set.
#   compile-check.sh READER_DIR SCRATCH_DIR TILESET COMPILER...
set -eu
dir=$1 scratch=$2 tileset=$3
shift 3
mkdir -p "$scratch"
sed -n '/^```c$/,/^```$/p' "$dir/README.md" | sed '1d;$d' > "$scratch/readme.c"
grep -q marquetor_load_file "$scratch/readme.c"
for cc in "$@"; do
  case $(basename "$cc") in
    *++*) std="-x c++ -std=c++11" ;;
    *) std="-x c -std=c99" ;;
  esac
  flags="$std -Wall -Wextra -pedantic -Werror"
  echo "== $cc $flags"
  # shellcheck disable=SC2086
  "$cc" $flags -DMARQUETOR_IMPLEMENTATION -c "$dir/marquetor.h" -o "$scratch/header.o"
  # shellcheck disable=SC2086
  "$cc" $flags -c "$dir/dump.c" -o "$scratch/dump.o"
  # shellcheck disable=SC2086
  "$cc" $flags -I"$dir" -c "$scratch/readme.c" -o "$scratch/readme.o"
  # shellcheck disable=SC2086
  "$cc" $flags "$dir/example.c" -o "$scratch/example"
  "$scratch/example" "$tileset" > "$scratch/example.out"
  grep -q '^tile [0-9-]*: .* bytes), ' "$scratch/example.out"
done
echo "clean under $# compilers"
