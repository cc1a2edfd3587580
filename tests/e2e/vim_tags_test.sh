#!/usr/bin/env bash
# With --vim-tags Vim jumps to a definition without an error message, and the
# kinds stay readable; the default form still lands on the right line.
set -u
bin=$1/zephyr-elk
command -v vim >/dev/null || { echo "vim not installed: skipped"; exit 0; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home
mkdir -p "$HOME" "$tmp/tree/lib"
cd "$tmp/tree"
printf '#define LIMIT 10\nstatic int\nclamp (int v)\n{\n\treturn v;\n}\n' > lib/clamp.c
printf 'package Foo::Bar;\nsub Baz::qux {\n}\n' > lib/q.pm
printf 'int main(void)\n{\n\treturn clamp(1);\n}\n' > main.c
jump() { # NAME -> file:line:errmsg
    timeout 20 vim -X -N -u NONE -i NONE -es -t "$1" \
        +'call writefile([expand("%") . ":" . line(".") . ":" . v:errmsg], "vimout")' +'qa!' </dev/null >/dev/null 2>&1
    cat vimout 2>/dev/null; rm -f vimout
}
fail=0
"$bin" --make-ctags --vim-tags || fail=1
grep -q $'^clamp\t./lib/clamp.c\t2;"\tf$' tags || { echo "extended line missing: $(grep clamp tags)"; fail=1; }
cp tags "$tmp/tags.vim"
for j in 2 3; do
    "$bin" --make-ctags --vim-tags -j $j && cmp -s tags "$tmp/tags.vim" || { echo "-j $j differs"; fail=1; }
done
[ "$(jump clamp)" = "./lib/clamp.c:2:" ] || { echo "vim on the extended form: $(jump clamp)"; fail=1; }
[ "$(jump LIMIT)" = "./lib/clamp.c:1:" ] || { echo "vim on a macro: $(jump LIMIT)"; fail=1; }
if command -v readtags >/dev/null; then
    readtags -e -t tags clamp | grep -q 'kind:f' || { echo "readtags sees no kind"; fail=1; }
fi
"$bin" --make-ctags
head -6 tags | cmp -s - <(head -6 "$tmp/tags.vim") || { echo "headers differ"; fail=1; }
grep -q $'^clamp\t./lib/clamp.c\t2\t; f$' tags || { echo "default form changed"; fail=1; }
[[ $(jump clamp) == ./lib/clamp.c:2:* ]] || { echo "vim on the default form: $(jump clamp)"; fail=1; }
exit $fail
