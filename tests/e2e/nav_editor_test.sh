#!/usr/bin/env bash
# The editor options: the run's output goes into a new file of the run's own
# (mode 0600, in $TMPDIR, name ending in ".cpp"), which the editor then opens
# on the terminal; the launcher ends with the run's or the editor's status.
# Usage: nav_editor_test.sh BINDIR
set -u
bin=$1/zephyr-elk
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
check() { # label condition...
    local label=$1; shift
    if ! "$@"; then echo "FAIL: $label"; fail=1; fi
}

mkdir -p "$tmp/work" "$tmp/home" "$tmp/t" "$tmp/bin"
cd "$tmp/work"
printf 'struct point {\n\tint x;\n};\n' > a.c
printf 'point\ta.c\t1\t; s\n' > tags
expected=$(printf '// file a.c line 1\nstruct point {\n\tint x;\n};\n\n')

# Fake editors record their argument, what the file held, its mode and where
# their own standard output went.
for editor in gvim emacs nano; do
    cat > "$tmp/bin/$editor" <<SCRIPT
#!/usr/bin/env bash
echo "$editor \$1 \$(stat -c %a "\$1") \$(readlink /proc/\$\$/fd/1)" >> "$tmp/log"
cp "\$1" "$tmp/seen.$editor"
exit \${EDITOR_STATUS:-0}
SCRIPT
    chmod +x "$tmp/bin/$editor"
done
export PATH="$tmp/bin:$PATH" HOME="$tmp/home" TMPDIR="$tmp/t"

# One editor: the file is new, private, ends in .cpp and holds the output.
ln -s "$tmp/victim" "$tmp/t/.zephyr_elk.tmp.cpp"
: > "$tmp/log"
"$bin" --nano --tags point > "$tmp/out" 2> "$tmp/err"
status=$?
read -r name path mode out < "$tmp/log"
check "status 0" [ "$status" = 0 ]
check "nano started" [ "$name" = nano ]
check "file in TMPDIR ending in .cpp" [ "${path#"$tmp/t/"}" != "$path" ] && [ "${path%.cpp}" != "$path" ]
check "mode 0600" [ "$mode" = 600 ]
check "editor writes to the terminal" [ "$out" = "$tmp/out" ]
check "file holds the output" [ "$(cat "$tmp/seen.nano")" = "$expected" ]
check "nothing on the launcher's stdout" [ ! -s "$tmp/out" ]
check "no message" [ ! -s "$tmp/err" ]
check "planted link not followed" [ ! -e "$tmp/victim" ]
first=$path

# A second run gets a file of its own.
: > "$tmp/log"
"$bin" --nano --tags point > "$tmp/out"
read -r name path mode out < "$tmp/log"
check "second run, second file" [ "$path" != "$first" ] && [ -f "$first" ]

# Nested options: the inner editor opens the file first, then the outer one
# opens the same file; both on the terminal.
: > "$tmp/log"
"$bin" --emacs --nano --tags point > "$tmp/out"
status=$?
mapfile -t lines < "$tmp/log"
check "nested: status 0" [ "$status" = 0 ]
check "nested: nano then emacs" [ "${#lines[@]}" = 2 ] && [ "${lines[0]%% *}" = nano ] && [ "${lines[1]%% *}" = emacs ]
read -r _ inner _ inner_out <<< "${lines[0]}"
read -r _ outer _ outer_out <<< "${lines[1]:-}"
check "nested: one file" [ "$inner" = "$outer" ]
check "nested: both on the terminal" [ "$inner_out" = "$tmp/out" ] && [ "$outer_out" = "$tmp/out" ]
check "nested: emacs sees the output" [ "$(cat "$tmp/seen.emacs")" = "$expected" ]

# Options after the editor's belong to the run: one editor, on the listing.
: > "$tmp/log"
"$bin" --gvim --kinds s > "$tmp/out"
status=$?
check "kinds: status 0" [ "$status" = 0 ]
check "kinds: one editor" [ "$(wc -l < "$tmp/log")" = 1 ]
check "kinds: the listing" [ "$(cat "$tmp/seen.gvim")" = "$(printf 'point\ta.c\t1\t; s')" ]

# The run fails: no editor, the run's status.
: > "$tmp/log"
"$bin" --gvim -u foo > "$tmp/out"
status=$?
check "failed run: status 1" [ "$status" = 1 ]
check "failed run: no editor" [ ! -s "$tmp/log" ]

# The editor fails: its status.
EDITOR_STATUS=3 "$bin" -g --tags point > "$tmp/out"
check "editor status" [ "$?" = 3 ]

# No file can be made: "open" and the system's text, status 1, no editor.
: > "$tmp/log"
TMPDIR="$tmp/missing" "$bin" --nano --tags point > "$tmp/out" 2> "$tmp/err"
status=$?
check "no file: status 1" [ "$status" = 1 ]
check "no file: perror open" grep -q '^open: ' "$tmp/err"
check "no file: no editor" [ ! -s "$tmp/log" ]

exit $fail
