# Bash completion for zephyr-elk and the names it is invoked under.
# Options complete from the list below; a function name (call trees, --tags,
# --grep) completes from the first field of ./tags, which is sorted by bytes,
# so look(1) finds a prefix by bisection; files complete for the file modes.
# Source this file, or install it as completions/zephyr-elk (and .../tags).

_zephyr_elk_options='--help -h -V --version --file --the-tt --structs --indent
--tags --make-ctags -c --call-tags -ct --cgrep --grep --replace -i --time-test
--options --verbose -u --linear -l -C --linux --debug --simulate --no-links -a
--all --test -t --ctags-append -A -B -j --tag-style -ts -L --depth -fn --cxx
--perl --python --ruby --php --java --go --lua -f --cache-load --cache-free -g
--gvim --emacs --nano --kinds --thread --vim-tags --dot'

# The distinct names of a tags file that begin with a prefix, in file order.
# Usage: _zephyr_elk_names PREFIX FILE
_zephyr_elk_names() {
    local prefix=$1 file=$2
    [[ -r $file ]] || return 0
    if [[ -n $prefix ]] && type -P look >/dev/null; then
        LC_ALL=C look -- "$prefix" "$file"
    else
        # Sorted lines: the names with the prefix stand together, so stop
        # at the first line past them.
        LC_ALL=C awk -v p="$prefix" -v n="${#prefix}" '
            substr($0, 1, n) == p { found = 1; print; next }
            found { exit }' "$file"
    fi | LC_ALL=C awk -F '\t' '$1 != last && substr($1, 1, 2) != "!_" { print $1; last = $1 }'
}

# The word being completed, whole even where COMP_WORDBREAKS splits it at a
# colon (Perl names such as Foo::bar).
_zephyr_elk_current_word() {
    local line=${COMP_LINE:0:${COMP_POINT:-${#COMP_LINE}}}
    if [[ -n ${COMP_LINE-} && $line =~ [^[:space:]]*$ ]]; then
        printf '%s' "${BASH_REMATCH[0]}"
    else
        printf '%s' "${COMP_WORDS[COMP_CWORD]}"
    fi
}

_zephyr_elk() {
    local cur cword=$COMP_CWORD joined=${COMP_WORDS[COMP_CWORD]}
    cur=$(_zephyr_elk_current_word)
    # Where the current word begins among the pieces bash split it into.
    while [[ $joined != "$cur" ]] && ((cword > 1)); do
        ((cword--))
        joined=${COMP_WORDS[cword]}$joined
    done
    [[ $joined == "$cur" ]] || cword=$COMP_CWORD
    local prev=${COMP_WORDS[cword-1]}
    COMPREPLY=()

    case $prev in
        -C) mapfile -t COMPREPLY < <(compgen -d -- "$cur"); compopt -o filenames 2>/dev/null; return 0 ;;
        -L) mapfile -t COMPREPLY < <(compgen -f -- "$cur"); compopt -o filenames 2>/dev/null; return 0 ;;
        -j|--depth|-A|-B|--kinds|--cgrep|--replace) return 0 ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$_zephyr_elk_options" -- "$cur")
        return 0
    fi

    # What the words before this one ask for: the mode (the invocation name
    # first, then the last mode option), -u, -C's directory, names given.
    local mode=tree dir=. reverse= names=0 i word
    case ${COMP_WORDS[0]##*/} in
        tags) mode=tags ;;
        the_tt|structs) mode=files ;;
        zk_indent) mode=none ;;
    esac
    for ((i = 1; i < cword; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            --tags) mode=tags ;;
            --grep|--cgrep|--replace) mode=files; i=$((i + 1)) ;;
            --file|--structs|--the-tt|-c|--make-ctags|--call-tags|-ct) mode=files ;;
            --kinds) mode=none; i=$((i + 1)) ;;
            --indent|-f|-i) mode=none ;;
            -u) reverse=1 ;;
            -C) i=$((i + 1)); dir=${COMP_WORDS[i]/#\~/$HOME} ;;
            -L|-j|--depth|-A|-B) i=$((i + 1)) ;;
            -*) ;;
            *) names=$((names + 1)) ;;
        esac
    done
    [[ $prev == --grep ]] && mode=names

    local file=$dir/tags
    [[ -n $reverse && -r $dir/call_tags ]] && file=$dir/call_tags
    case $mode in
        tree) ((names == 0)) && mapfile -t COMPREPLY < <(_zephyr_elk_names "$cur" "$file") ;;
        tags|names) mapfile -t COMPREPLY < <(_zephyr_elk_names "$cur" "$file") ;;
        files) mapfile -t COMPREPLY < <(compgen -f -- "$cur"); compopt -o filenames 2>/dev/null ;;
    esac

    # Bash replaces only the part after the last colon: drop what it keeps.
    if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
        local kept=${cur%"${cur##*:}"}
        for i in "${!COMPREPLY[@]}"; do COMPREPLY[i]=${COMPREPLY[i]#"$kept"}; done
    fi
    return 0
}

complete -F _zephyr_elk zephyr-elk tags the_tt structs zk_indent elk_cxx elk_perl elk_python elk_ruby
