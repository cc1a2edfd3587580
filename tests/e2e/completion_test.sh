#!/usr/bin/env bash
# Bash completion: options as the program knows them, names from the first
# field of a byte-sorted tags file (with look(1) and without), files for the
# file modes; installed under the names bash-completion looks for.
set -u
bindir=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
script=$src/editors/zephyr-elk.bash
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home
mkdir -p "$HOME" "$tmp/work/sub" "$tmp/work/subdir" "$tmp/nolook"
cd "$tmp/work"
fail=0

header=$'!_TAG_FILE_FORMAT\t2\n!_TAG_FILE_SORTED\t1\n!_TAG_PROGRAM_AUTHOR\tx\n!_TAG_PROGRAM_NAME\tZephyr Elk\n!_TAG_PROGRAM_URL\tx\n!_TAG_PROGRAM_VERSION\t2.0\n'
# Byte order: a name's lines stand together, before the longer names that
# begin with it; the tab sorts below every printable byte.
{
    printf '%s' "$header"
    printf '%s\t%s\t%s\n' Foo ./a.c '1	; f' Foo::bark ./q.pm '2	; f' Foo::bite ./q.pm '4	; f' \
        foo ./a.c '3	; f' foo ./b.c '9	; f' foo2 ./a.c '5	; f' foo_bar ./a.c '7	; f' \
        qux ./a.c '3;"	f' zed ./z.c '1	; s'
} > tags
LC_ALL=C sort -c tags || { echo "fixture not sorted"; exit 1; }
{ printf '%s' "$header"; printf 'callee_only\t./a.c\t4\t;\tby\tfoo\n'; } > call_tags
{ printf '%s' "$header"; printf 'inner\t./x.c\t1\t; f\n'; } > sub/tags
touch alpha.c alpha.h beta.py

# Runs the completion function in a clean shell on the given words; the last
# word is the one completed. The words are given as bash splits them (at
# colons too); COMP_LINE is their plain concatenation.
# Usage: complete_words PATH-DIR WORD... -> the replies, sorted, one line
complete_words() {
    local path=$1; shift
    PATH=$path bash --norc --noprofile -c '
        source "$0"
        COMP_WORDS=("${@}")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        line= prev=
        for w in "${COMP_WORDS[@]}"; do
            # bash keeps no blank around the pieces split at a colon
            if [[ -n $line && $w != :* && $prev != *: ]]; then line+=" "; fi
            line+=$w; prev=$w
        done
        COMP_LINE=$line COMP_POINT=${#line}
        _zephyr_elk
        printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd " "
    ' "$script" "$@"
}

ok_path=$PATH
# The same cases without look(1), through the awk fallback.
for tool in awk mawk gawk sort paste bash; do
    p=$(type -P "$tool") && ln -sf "$p" "$tmp/nolook/$tool"
done

check() { # expected path words...
    local want=$1 path=$2; shift 2
    local got
    got=$(complete_words "$path" "$@")
    local how="with look"
    [ "$path" = "$tmp/nolook" ] && how="without look"
    [ "$got" = "$want" ] || { echo "[$*] gave [$got], expected [$want] ($how)"; fail=1; }
}

for path in "$ok_path" "$tmp/nolook"; do
    check "foo foo2 foo_bar" "$path" zephyr-elk fo           # foo twice in tags, once here
    check "foo_bar" "$path" zephyr-elk foo_
    check "Foo Foo::bark Foo::bite" "$path" zephyr-elk F
    check "bark bite" "$path" zephyr-elk Foo :: b             # bash split the word at the colons
    check "Foo Foo::bark Foo::bite foo foo2 foo_bar qux zed" "$path" zephyr-elk ''
    check "qux" "$path" zephyr-elk q                          # the --vim-tags form
    check "" "$path" zephyr-elk '!'                           # header lines are no names
    check "" "$path" zephyr-elk nothing
    check "" "$path" zephyr-elk foo fo                        # a call tree takes one name
    check "foo foo2 foo_bar" "$path" zephyr-elk --depth 3 -fn fo
    check "foo foo2 foo_bar" "$path" zephyr-elk --tags foo fo
    check "foo foo2 foo_bar" "$path" tags zed fo
    check "foo foo2 foo_bar" "$path" /usr/local/bin/tags fo
    check "foo foo2 foo_bar" "$path" zephyr-elk --grep fo
    check "callee_only" "$path" zephyr-elk -u c               # callers are asked of callees
    check "inner" "$path" zephyr-elk -C sub i
    check "inner" "$path" zephyr-elk -C "$tmp/work/sub" ''
done
check "--vim-tags" "$ok_path" zephyr-elk --vim
check "--cache-free --cache-load --call-tags --cgrep --ctags-append --cxx" "$ok_path" zephyr-elk --c
check "alpha.c alpha.h" "$ok_path" zephyr-elk --file al
check "alpha.c alpha.h" "$ok_path" zephyr-elk -c -j 2 al
check "alpha.c alpha.h" "$ok_path" the_tt al
check "alpha.c alpha.h" "$ok_path" zephyr-elk --grep pattern al
check "beta.py" "$ok_path" zephyr-elk -L b
check "sub subdir" "$ok_path" zephyr-elk -C s
check "" "$ok_path" zephyr-elk --depth ''
check "" "$ok_path" zephyr-elk --kinds ''
check "" "$ok_path" zk_indent ''

# Every option of the program's table is offered, and nothing else.
sed -n 's/^ *{"\(-[^"]*\)", ARG_.*/\1/p' "$src/src/options.cpp" | LC_ALL=C sort | paste -sd " " > "$tmp/want"
grep -q -- '--vim-tags' "$tmp/want" || { echo "could not read the option table"; fail=1; }
complete_words "$ok_path" zephyr-elk - > "$tmp/got"
cmp -s "$tmp/want" "$tmp/got" || { echo "options differ:"; diff <(tr ' ' '\n' < "$tmp/want") <(tr ' ' '\n' < "$tmp/got"); fail=1; }

# A tags file written by the program itself.
mkdir "$tmp/real" && cd "$tmp/real"
printf 'static int clamp(int v)\n{\n\treturn v;\n}\nint clamp_all(void)\n{\n\treturn clamp(1);\n}\n' > m.c
"$bindir/zephyr-elk" -c || { echo "tags run failed"; fail=1; }
check "clamp clamp_all" "$ok_path" zephyr-elk cl
"$bindir/zephyr-elk" -c --vim-tags
check "clamp clamp_all" "$tmp/nolook" zephyr-elk cl

# Installed where bash-completion loads it, for zephyr-elk and for tags.
if cmake --install "$bindir" --prefix "$tmp/prefix" > "$tmp/install" 2>&1; then
    for name in zephyr-elk tags; do
        f=$tmp/prefix/share/bash-completion/completions/$name
        cmp -s "$script" "$f" || { echo "completion not installed as $name"; fail=1; continue; }
        bash --norc -c 'source "$1"; complete -p "$2"' _ "$f" "$name" | grep -q _zephyr_elk ||
            { echo "$name not registered by $f"; fail=1; }
    done
    for link in tags the_tt zk_indent structs elk_cxx elk_perl elk_python elk_ruby; do
        [ "$(readlink "$tmp/prefix/bin/$link")" = zephyr-elk ] || { echo "link $link not under the prefix"; fail=1; }
    done
else
    echo "install failed:"; cat "$tmp/install"; fail=1
fi
exit $fail
