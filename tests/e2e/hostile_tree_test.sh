#!/usr/bin/env bash
# Every mode over a hostile tree: names with blanks, quotes, "$(...)", a
# leading '-', a tab and a line feed; link loops, a dangling link and a link
# out of the tree; unreadable files and directories; binary, empty and
# page-sized files, a megabyte line, deep braces and everything left
# unterminated, in every language; CR LF files; a FIFO named x.c and a link
# to /dev/zero named z.c. No run may crash, hang, report a sanitizer error,
# touch anything outside the tree or change the tree; --replace may change
# only the occurrences of its text.
#   usage: hostile_tree_test.sh bin-dir
set -u
bin=$(cd "$1" && pwd)/zephyr-elk
tmp=$(mktemp -d)
cleanup() { chmod -R u+rwx "$tmp" 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT
work=$tmp/work tree=$tmp/work/t outside=$tmp/outside out=$tmp/out
mkdir -p "$tree" "$outside" "$out" "$tmp/home"
export HOME=$tmp/home
: "${ASAN_OPTIONS:=detect_leaks=0}"
export ASAN_OPTIONS
fail=0
report() { echo "--- $*"; fail=1; }

MARK=zk_marker_word NEW=ZK_REPLACED
EXTS=(c h cpp pl pm py rb php go java lua)
page=$(getconf PAGESIZE 2>/dev/null || echo 4096)

repeat() { # byte count: the byte repeated
  head -c "$2" /dev/zero | tr '\0' "$1"
}

# A small definition in each language, holding the marker and one name.
normal_source() { # extension name
  case $1 in
    c|h|cpp) printf '/* %s */\nint %s(int a) { return hostile_leaf(a) + 1; }\n' "$MARK" "$2" ;;
    pl|pm) printf 'package %s; # %s\nsub %s { return 1; }\n' "$2" "$MARK" "$2" ;;
    py) printf '# %s\nclass %s:\n    def %s(self):\n        return 1\n' "$MARK" "$2" "$2" ;;
    rb) printf '# %s\nmodule %s\n  def %s; end\nend\n' "$MARK" "$2" "$2" ;;
    php) printf '<?php // %s\nfunction %s() { return 1; }\n' "$MARK" "$2" ;;
    go) printf 'package p // %s\nfunc %s() int { return 1 }\n' "$MARK" "$2" ;;
    java) printf '// %s\nclass %s { void %s() { } }\n' "$MARK" "$2" "$2" ;;
    lua) printf -- '-- %s\nfunction %s() return 1 end\n' "$MARK" "$2" ;;
  esac
}

# Contents that open something and never close it, or end on a page edge.
payload() { # kind
  case $1 in
    comment) printf 'int a; /* never closed\nint b;\n' ;;
    string) printf 'x = "never closed ; { \nint b;\n' ;;
    char) printf "x = 'never closed ; { \\\\\n" ;;
    heredoc) printf 'sub f {\nprint <<"EOT";\nbody ; {\n' ;;
    heredoc_bare) printf 'print <<EOT . <<~X . <<\nbody\n' ;;
    pod) printf 'sub a { 1 }\n\n=pod\n\nsub b { 2 }\n' ;;
    regex) printf 'if ($x =~ m/never closed {\n$y =~ s{a}{b\n$z =~ tr/a-\n' ;;
    docstring) printf 'def f():\n    """never closed\n    def g(): pass\n' ;;
    block) printf '=begin\ndef f; end\n--[[ never closed\n`raw never closed\n' ;;
    backslash) printf 'x = 1; \\' ;;
    braces) repeat '{' 10000; printf 'x;'; repeat '}' 10000; printf '\n' ;;
    open_braces) repeat '{' 10000; repeat '(' 10000; repeat '[' 10000 ;;
    close_braces) repeat '}' 10000; repeat ')' 10000; printf 'int x;\n' ;;
    long_line) printf 'int f('; repeat 'a' 1048576 ;;
    long_line_lf) printf '# '; repeat 'b' 1048576; printf '\n' ;;
    binary) for i in $(seq 0 255); do printf "\\$(printf '%03o' "$i")"; done | repeat_stream 64 ;;
    crlf) printf '/* %s */\r\nint crlf_fn(void)\r\n{\r\n  return 0;\r\n}\r\nsub crlf_sub {\r\n}\r\ndef crlf_py():\r\n  pass\r\n' "$MARK" ;;
    empty) ;;
    page_quote) printf '"'; repeat 'q' $((page - 1)) ;;
    page_slash) repeat ' ' $((page - 1)); printf '/' ;;
    page_backslash) repeat 'x' $((2 * page - 1)); printf '\\' ;;
    page_hash) printf 'int a;\n'; repeat ' ' $((page - 8)); printf '#' ;;
    page_heredoc) printf 'print <<'; repeat 'E' $((page - 8)) ;;
  esac
}
repeat_stream() { # count: standard input repeated
  local block
  block=$(mktemp "$tmp/block.XXXXXX")
  cat > "$block"
  for _ in $(seq "$1"); do cat "$block"; done
  rm -f "$block"
}
KINDS=(comment string char heredoc heredoc_bare pod regex docstring block backslash braces
       open_braces close_braces long_line long_line_lf binary crlf empty page_quote
       page_slash page_backslash page_hash page_heredoc)

# The tree. Hostile names are used for directories and files alike.
NAMES=("with blank" "it's quoted" 'say "hi"' '$(touch PWNED)' '`touch PWNED`' '-rf' '--help'
       $'tab\tname' $'line\nfeed' '; touch PWNED ;' '*glob?[x]' 'back\slash')
cd "$tree" || exit 1
for i in "${!NAMES[@]}"; do
  name=${NAMES[$i]}
  mkdir -- "$name"
  normal_source c "hostile_fn_$i" > "./$name.c"
  for ext in "${EXTS[@]}"; do normal_source "$ext" "hostile_${ext}_$i" > "./$name/$name.$ext"; done
done
printf '/* %s */\nint hostile_leaf(int a) { return a; }\nint hostile_main(void) { return hostile_fn_0(1) + hostile_fn_3(2) + hostile_fn_8(3); }\n' "$MARK" > main.c
mkdir payloads
for kind in "${KINDS[@]}"; do
  payload "$kind" | tee "${EXTS[@]/#/payloads/$kind.}" > /dev/null
done
for n in 1 2; do repeat 'y' $((n * page)) > "payloads/page_$n.c"; done
[ "$(wc -c < payloads/page_quote.c)" = "$page" ] || report "payload page_quote is not one page"

ln -s loop-b.c loop-a.c; ln -s loop-a.c loop-b.c; ln -s self.c self.c
ln -s . dirloop; ln -s .. uploop
ln -s "$tmp/nowhere.c" dangling.c
normal_source c outside_fn > "$outside/secret.c"
ln -s "$outside/secret.c" outside-link.c
ln -s "$outside" outside-dir
normal_source c unreadable_fn | sed "s/$MARK//" > unreadable.c; chmod 000 unreadable.c
mkdir locked; normal_source c locked_fn | sed "s/$MARK//" > locked/inner.c; chmod 000 locked
mkdir readonly; normal_source c readonly_fn | sed "s/$MARK//" > readonly/ro.c; chmod 555 readonly
mkfifo x.c x.pl x.py
ln -s /dev/zero z.c; ln -s /dev/zero z.py; ln -s /dev/zero z.pl
cd "$work" || exit 1

# The file system as seen from a directory, one record per entry, links
# not followed: type, name and link target; then the checksum of every
# regular file, or, with "replaced", of what it holds once the marker is
# replaced.
snapshot() { # dir [replaced]
  (cd "$1" && {
    find . -printf '%y %p -> %l\0'
    if [ "${2:-}" = replaced ]; then
      find . -type f -exec grep -L -Z -- "$MARK" {} + 2>/dev/null | xargs -0 -r sha1sum -z -- 2>/dev/null
      rm -rf "$tmp/mirror" && mkdir "$tmp/mirror"
      find . -type f -exec grep -l -Z -- "$MARK" {} + 2>/dev/null |
        tar --null --no-unquote --verbatim-files-from -T - -cf - | tar -xf - -C "$tmp/mirror"
      (cd "$tmp/mirror" && find . -type f -exec sed -i "s/$MARK/$NEW/g" {} + &&
       find . -type f -exec sha1sum -z -- {} +)
    else
      find . -type f -exec sha1sum -z -- {} + 2>/dev/null
    fi
  } | LC_ALL=C sort -z)
}
# Outside the tree even the inode and the time of change count.
outside_state() { stat -c '%n %i %s %Y %Z' "$outside"/* "$outside"; }

# Where the superuser ignores permissions, the runs go without that power,
# so that unreadable stays unreadable.
drop=()
if [ "$(id -u)" = 0 ] && setpriv --bounding-set=-dac_override,-dac_read_search true 2>/dev/null; then
  drop=(setpriv --bounding-set=-dac_override,-dac_read_search)
fi

runs=0
run() { # label stdin args...: one run, checked for its end and its stderr
  local label=$1 input=$2 status
  shift 2
  runs=$((runs + 1))
  ( ulimit -f 409600; exec timeout -k 5 120 "${drop[@]}" "$bin" "$@" ) \
    < "$input" > "$out/$runs.out" 2> "$out/$runs.err"
  status=$?
  if [ $status = 124 ] || [ $status = 137 ]; then report "$label: did not end (status $status)"
  elif [ $status = 126 ] || [ $status = 127 ]; then report "$label: could not be run (status $status)"
  elif [ $status -ge 128 ]; then report "$label: killed by signal $((status - 128))"
  fi
  if grep -a -q -E 'Sanitizer|runtime error:' "$out/$runs.err"; then
    report "$label: sanitizer report"; grep -a -E -A12 'Sanitizer|runtime error:' "$out/$runs.err" | head -40
  fi
}

mapfile -d '' paths < <(find ./t -print0 | LC_ALL=C sort -z)
snapshot "$tree" > "$tmp/before"
snapshot "$tree" replaced > "$tmp/expected"
outside_state > "$tmp/outside.before"

run "-f" /dev/null -f
run "--make-ctags" /dev/null --make-ctags
grep -q "^hostile_fn_3	./t/\$(touch PWNED).c	2	; f$" tags || report "--make-ctags: no tag from a hostile file name"
run "--make-ctags -j 3" /dev/null --make-ctags -j 3
run "--call-tags" /dev/null --call-tags
run "--call-tags -j 2" /dev/null --call-tags -j 2
run "--grep" /dev/null --grep "$MARK"
run "--grep -ts" /dev/null -ts --grep return
run "--cgrep" /dev/null --cgrep 'return,('
run "--cgrep -j 2" /dev/null -j 2 --cgrep '{'
run "--the-tt" /dev/null --the-tt "${paths[@]}"
run "--file" /dev/null --file "${paths[@]}"
printf '%s\n' "${paths[@]}" > "$tmp/list"
run "--file (paths on stdin)" "$tmp/list" --file
run "--structs" /dev/null --structs "${paths[@]}"
run "--kinds" /dev/null --kinds fcsnt
# Every content of the tree has a .c twin.
for p in "${paths[@]}"; do
  case $p in *.c) [ -f "$p" ] && [ ! -L "$p" ] && run "--indent < $p" "$p" --indent ;; esac
done
names=(hostile_main hostile_leaf no_such_name)
for i in "${!NAMES[@]}"; do names+=("hostile_fn_$i" "hostile_py_$i" "hostile_pl_$i"); done
run "--tags" /dev/null --tags "${names[@]}"
run "call tree" /dev/null hostile_main
run "call tree --verbose --linear -fn" /dev/null --verbose --linear -fn --depth 20 hostile_main
run "call tree of every name" /dev/null "${names[@]}"
run "reverse call tree" /dev/null -u hostile_leaf
run "reverse call tree --verbose" /dev/null --verbose -u hostile_fn_8

snapshot "$tree" > "$tmp/after"
cmp -s "$tmp/before" "$tmp/after" ||
  { report "the tree changed"; diff <(tr '\0' '\n' < "$tmp/before") <(tr '\0' '\n' < "$tmp/after") | head -20; }
outside_state | cmp -s "$tmp/outside.before" - || report "a file outside the tree was touched"
# Nothing new beside the tree but the files the modes write there.
stray_files() { # label
  local entry
  for entry in "$work"/* "$work"/.[!.]*; do
    case ${entry##*/} in t|tags|call_tags|zephyr_elk.tmp|'.[!.]*') ;; *) report "$1: unexpected file ${entry##*/}" ;; esac
  done
}
stray_files "the modes"

# --replace changes the occurrences in the files named, and nothing more.
# A mode not built yet changes nothing at all: a canary file tells which.
mkdir "$tmp/canary"
printf 'a %s b\n' "$MARK" > "$tmp/canary/c.c"
run "--replace (canary)" /dev/null --replace "$MARK,$NEW" "$tmp/canary/c.c"
want=$tmp/before
grep -q "$NEW" "$tmp/canary/c.c" && want=$tmp/expected
run "--replace" /dev/null --replace "$MARK,$NEW" "${paths[@]}"
snapshot "$tree" > "$tmp/after"
cmp -s "$want" "$tmp/after" ||
  { report "--replace: the tree is not as expected"; diff <(tr '\0' '\n' < "$want") <(tr '\0' '\n' < "$tmp/after") | head -20; }
outside_state | cmp -s "$tmp/outside.before" - || report "--replace touched a file outside the tree"
stray_files "--replace"

[ $fail = 0 ] && echo "$runs runs over the hostile tree"
exit $fail
