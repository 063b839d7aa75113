# Bash completion for Vornakle's programs: vornakle-check, vornakle-convert
# and the options of the desktop program, vornakle, which takes no operands.
#
# The options are those the program's own --help lists, read once per shell
# and program, so an option completes as soon as the program has it. A
# value name after an option there ("--jobs N", "--ca-file FILE") says that
# the option takes a value: a word from the fixed choices below, a file name
# for FILE, and nothing to offer for the others.

declare -gA _vornakle_options=() _vornakle_value_names=()

# The values of options that take one of a few words.
_vornakle_choices() {
    case $1 in
    --format) echo "text csv json html" ;;
    --rules) echo "classic current" ;;
    --browser) echo "firefox chromium chrome" ;;
    --update-dead) echo "archive" ;;
    esac
}

# Reads the options of "$1 --help" into the caches.
_vornakle_read_help() {
    local program=$1 line options=""
    [[ -n ${_vornakle_options[$program]+set} ]] && return
    local pattern='^[[:space:]]+(--[a-z][a-z0-9-]*)([ =]([A-Z][A-Z_]*))?([[:space:]]|$)'
    while IFS= read -r line; do
        if [[ $line =~ $pattern ]]; then
            options+="${BASH_REMATCH[1]} "
            if [[ -n ${BASH_REMATCH[3]} ]]; then
                _vornakle_value_names["$program ${BASH_REMATCH[1]}"]=${BASH_REMATCH[3]}
            fi
        fi
    done < <("$program" --help 2>/dev/null </dev/null)
    _vornakle_options[$program]=$options
}

# Completes the value of OPTION from the word typed so far.
_vornakle_complete_value() {
    local program=$1 option=$2 current=$3 choices
    local name=${_vornakle_value_names["$program $option"]-}
    choices=$(_vornakle_choices "$option")
    if [[ -n $name && -n $choices ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$choices" -- "$current")
    elif [[ $name == FILE ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$current")
    else
        COMPREPLY=()
    fi
}

_vornakle_complete() {
    local program=${COMP_WORDS[0]} current=${COMP_WORDS[COMP_CWORD]}
    local previous=${COMP_WORDS[COMP_CWORD - 1]} index
    COMPREPLY=()
    _vornakle_read_help "$program"

    # After "--" every word is a source or target.
    for ((index = 1; index < COMP_CWORD; ++index)); do
        if [[ ${COMP_WORDS[index]} == -- ]]; then
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$current")
            return
        fi
    done
    # "--name=VALUE" reaches here in three words where "=" breaks words, as
    # by default.
    if [[ $current == = ]]; then
        _vornakle_complete_value "$program" "$previous" ""
    elif [[ $previous == = ]] && ((COMP_CWORD >= 2)); then
        _vornakle_complete_value "$program" "${COMP_WORDS[COMP_CWORD - 2]}" "$current"
    elif [[ $current == --*=* ]]; then
        # Where "=" is no word break, the option stays in the word.
        _vornakle_complete_value "$program" "${current%%=*}" "${current#*=}"
        COMPREPLY=("${COMPREPLY[@]/#/${current%%=*}=}")
    elif [[ -n ${_vornakle_value_names["$program $previous"]+set} ]]; then
        _vornakle_complete_value "$program" "$previous" "$current"
    elif [[ $current == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${_vornakle_options[$program]}" -- "$current")
    elif [[ ${program##*/} != vornakle ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$current")
    fi
}

complete -F _vornakle_complete vornakle vornakle-check vornakle-convert
