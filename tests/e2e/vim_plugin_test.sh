#!/usr/bin/env bash
# The Vim plugin, run headless in a tagged copy of the example tree: each
# command fills the one scratch window with the program's output for the
# word under the cursor or the argument given, the name reaches the program
# as one word whatever it holds, and make install puts the plugin where
# Debian's Vim looks.
# Usage: vim_plugin_test.sh BINDIR
set -u
bindir=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
plugin=$src/editors/vim/plugin/zephyr_elk.vim
command -v vim >/dev/null || { echo "vim not installed: plugin test skipped"; exit 0; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home
mkdir -p "$HOME"
cp -r "$src/examples/tree" "$tmp/work"
cd "$tmp/work"
export PATH=$bindir:$PATH
fail=0
zephyr-elk -c && zephyr-elk --call-tags || { echo "FAIL: could not make tags and call_tags"; exit 1; }

# Runs Vim on main.c with the plugin and the given Ex commands; each
# "dump N" writes the current buffer, its name and the window count to out.N.
vim_run() {
    {
        printf 'source %s\n' "$plugin"
        printf 'command! -nargs=1 Dump call writefile(getline(1, "$") + ["--", bufname(""), winnr("$")], "%s/out." . <q-args>)\n' "$tmp"
        printf '%s\n' "$@" 'qa!'
    } > "$tmp/script.vim"
    timeout 60 vim -u NONE -N -es -S "$tmp/script.vim" main.c < /dev/null > "$tmp/vim.log" 2>&1 ||
        { echo "FAIL: vim failed:"; cat "$tmp/vim.log"; fail=1; }
}
expect() {  # N WANTED_FILE
    cmp -s "$2" "$tmp/out.$1" || { echo "FAIL: scratch buffer $1:"; diff "$2" "$tmp/out.$1"; fail=1; }
}

# The word under the cursor (clamp, on its call in area_sum), then arguments;
# the second and third commands reuse the window of the first.
vim_run '/return clamp' 'normal! w' 'ZkTags' 'Dump 1' 'wincmd p' 'ZkTree main' 'Dump 2' 'ZkCallers shape_area' 'Dump 3'
{ zephyr-elk --tags clamp; printf -- '--\n[Zephyr Elk]\n2\n'; } > "$tmp/want.1"
{ zephyr-elk main; printf -- '--\n[Zephyr Elk]\n2\n'; } > "$tmp/want.2"
{ zephyr-elk -u shape_area; printf -- '--\n[Zephyr Elk]\n2\n'; } > "$tmp/want.3"
for n in 1 2 3; do expect $n "$tmp/want.$n"; done
grep -q 'clamp(int v' "$tmp/want.1" || { echo "FAIL: the expected definition of clamp is not there"; fail=1; }

# A name with shell syntax in it is passed as it is, and runs nothing.
vim_run 'ZkTree a$(touch pwned)b;touch pwned2' 'Dump 4'
[ -e pwned ] || [ -e pwned2 ] && { echo "FAIL: the name ran a shell command"; fail=1; }
grep -qF 'Tag "a$(touch pwned)b;touch pwned2" not found' "$tmp/out.4" || { echo "FAIL: name not passed whole:"; cat "$tmp/out.4"; fail=1; }

# Installed under the prefix in the directory Debian's Vim reads.
if cmake --install "$bindir" --prefix "$tmp/p" > "$tmp/install" 2>&1; then
    cmp -s "$plugin" "$tmp/p/share/vim/vimfiles/plugin/zephyr_elk.vim" || { echo "FAIL: plugin not installed"; fail=1; }
else
    echo "FAIL: install failed:"; cat "$tmp/install"; fail=1
fi
exit $fail
