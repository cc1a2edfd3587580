#!/usr/bin/env bash
# The tags file is the same whatever the number of jobs, leaves no scratch
# file behind, survives a HOME whose name the shell would split or run, and
# replaces the previous file only when a run succeeds.
set -u
bin=$1/zephyr-elk
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
home="$tmp/ho me'\$(touch pwned)"
mkdir -p "$home" "$tmp/tree/sub dir"
cd "$tmp/tree"
for i in $(seq 1 9); do
    printf 'struct s%d { int a; };\nint f%d(int x)\n{\n\treturn x;\n}\n#define M%d 1\n' $i $i $i > "f$i.c"
done
printf 'class K : public B {\n};\nnamespace n { int g(void) { return 1; } }\n' > "sub dir/k.cpp"
printf 'int tabbed(void) { return 0; }\n' > "$(printf 'ta\tb.c')"
fail=0
HOME=$home "$bin" -c 2>"$tmp/err" || { echo "-j 1 failed"; fail=1; }
grep -q 'tab or line feed' "$tmp/err" || { echo "no message for the tab in a name"; fail=1; }
cp tags "$tmp/tags.1"
grep -q $'^f5\t./f5.c\t2\t; f$' tags || { echo "f5 missing"; fail=1; }
grep -q $'^K\t./sub dir/k.cpp\t1\t; c$' tags || { echo "K missing"; fail=1; }
grep -q 'tabbed' tags && { echo "a path with a tab reached the tags file"; fail=1; }
for j in 2 3 12 0; do
    HOME=$home "$bin" -c -j $j 2>/dev/null
    cmp -s tags "$tmp/tags.1" || { echo "-j $j differs"; fail=1; }
done
left=$(find "$home/.zephyr_elk" -type f | wc -l)
[ "$left" = 0 ] || { echo "scratch files left: $left"; fail=1; }
[ -e pwned ] && { echo "HOME ran a command"; fail=1; }
[ -z "$(ls -A | grep -v -e '^f[0-9]\.c$' -e '^sub dir$' -e '^tags$' -e $'^ta\tb.c$')" ] || { echo "stray files: $(ls -A)"; fail=1; }
# A run that cannot write its output keeps the previous tags file.
cp "$tmp/tags.1" tags
chmod 500 "$tmp/tree"
if [ "$(id -u)" != 0 ]; then
    HOME=$home "$bin" -c 2>/dev/null && { echo "failed write reported success"; fail=1; }
    cmp -s tags "$tmp/tags.1" || { echo "previous tags lost"; fail=1; }
fi
chmod 700 "$tmp/tree"
# A tags file that cannot be replaced (here a directory) fails the run.
mkdir -p "$tmp/blocked/tags" && cp f1.c "$tmp/blocked/"
(cd "$tmp/blocked" && HOME=$home "$bin" -c 2>/dev/null) && { echo "failed rename reported success"; fail=1; }
[ -d "$tmp/blocked/tags" ] || { echo "blocked tags replaced"; fail=1; }
[ "$(ls -A "$tmp/blocked")" = "$(printf 'f1.c\ntags')" ] || { echo "temporary left: $(ls -A "$tmp/blocked")"; fail=1; }
# A worker that dies (here on the file-size limit) fails the run and keeps
# the previous tags file.
cp "$tmp/tags.1" tags
err=$( (ulimit -f 0; HOME=$home "$bin" -c -j 2 2>&1 >/dev/null; echo "status $?") )
[[ $err == *"status 1" ]] || { echo "killed worker not noticed: $err"; fail=1; }
[[ $err == *"killed by signal"* ]] || { echo "no message for the killed worker: $err"; fail=1; }
cmp -s tags "$tmp/tags.1" || { echo "tags replaced after a worker died"; fail=1; }
# Two runs at once in two trees each write exactly their own tags.
mkdir -p "$tmp/one" "$tmp/two"
for i in $(seq 1 300); do printf 'int one_%d(void) { return 0; }\n' $i > "$tmp/one/o$i.c"; done
for i in $(seq 1 300); do printf 'int two_%d(void) { return 0; }\n' $i > "$tmp/two/t$i.c"; done
(cd "$tmp/one" && HOME=$home "$bin" -c -j 2) & (cd "$tmp/two" && HOME=$home "$bin" -c -j 2) & wait
[ "$(grep -c '^one_' "$tmp/one/tags")" = 300 ] && ! grep -q '^two_' "$tmp/one/tags" || { echo "tree one mixed"; fail=1; }
[ "$(grep -c '^two_' "$tmp/two/tags")" = 300 ] && ! grep -q '^one_' "$tmp/two/tags" || { echo "tree two mixed"; fail=1; }
# Vim finds a definition through the file.
if command -v vim >/dev/null; then
    HOME=$home timeout 20 vim -X -N -u NONE -i NONE -es -t f7 \
        +'call writefile([expand("%") . ":" . line(".")], "vimout")' +'qa!' </dev/null >/dev/null 2>&1
    [ "$(cat vimout 2>/dev/null)" = "./f7.c:2" ] || { echo "vim -t f7 gave: $(cat vimout 2>/dev/null)"; fail=1; }
    rm -f vimout
fi
exit $fail
