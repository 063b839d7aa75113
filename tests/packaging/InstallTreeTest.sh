#!/usr/bin/env bash
# InstallTreeTest.sh BUILD VERSION: installs the build into a temporary
# prefix and checks what a user gets: exactly the expected files, each
# program's version, the menu entry and the metadata as their validators
# and each other read them, manual pages that render without a warning and
# list exactly the options of the program's --help, and a completion that
# loads in bash and completes options, their values and file names.
set -uo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The programs as a user's terminal starts them: no display, so the desktop
# program could never open a window here, and no toolkit platform of the
# test's.
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 "$prefix/bin/$1" "${@:2}" \
        </dev/null
}

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

programs=(vornakle vornakle-check vornakle-convert)
completed=(vornakle vornakle-check vornakle-convert)
icon_sizes=(16 22 24 32 48 64 128 256)
desktop=share/applications/vornakle.desktop
metainfo=share/metainfo/org.vornakle.vornakle.metainfo.xml

# --- Exactly these files, nothing beside them.
expected=("$desktop" "$metainfo" share/icons/hicolor/scalable/apps/vornakle.svg)
for program in "${programs[@]}"; do
    expected+=("bin/$program" "share/man/man1/$program.1.gz")
done
for program in "${completed[@]}"; do
    expected+=("share/bash-completion/completions/$program")
done
for size in "${icon_sizes[@]}"; do
    expected+=("share/icons/hicolor/${size}x$size/apps/vornakle.png")
done
if ! diff <(printf '%s\n' "${expected[@]}" | sort) \
    <(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort); then
    fail "the installed files differ from the expected ones (< expected, > installed)"
fi
for size in "${icon_sizes[@]}"; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/vornakle.png
    file "$png" | grep -q "PNG image data, $size x $size," ||
        fail "$png is no ${size}x$size PNG: $(file -b "$png")"
done

# --- Every program tells the project's version, without a window.
for program in "${programs[@]}"; do
    answer=$(run "$program" --version 2>&1)
    [ "$answer" = "$program $version" ] ||
        fail "$program --version said \"$answer\", not \"$program $version\""
done

# --- The menu entry: valid, in German and English, and naming what is
# installed: its programs and its icon.
if ! desktop-file-validate "$prefix/$desktop"; then
    fail "desktop-file-validate rejects $desktop"
fi
for key in Name Name'\[de\]' Comment Comment'\[de\]' Icon Exec; do
    grep -q "^$key=" "$prefix/$desktop" || fail "$desktop has no $key"
done
grep -q '^\[Desktop Action .*\]$' "$prefix/$desktop" || fail "$desktop has no action"
[ "$(grep -c '^Name\[de\]=' "$prefix/$desktop")" = "$(grep -c '^Name=' "$prefix/$desktop")" ] ||
    fail "$desktop: not every Name has a German one"
while read -r program; do
    [ -x "$prefix/bin/$program" ] || fail "$desktop starts $program, which is not installed"
done < <(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$prefix/$desktop")
icon=$(sed -n 's/^Icon=//p' "$prefix/$desktop")
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "$desktop shows the icon \"$icon\", which is not installed"

# --- The AppStream metadata: valid, the build's version, and naming the
# installed menu entry and icon.
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic "$prefix/$metainfo" ||
        fail "appstreamcli rejects $metainfo"
else
    echo "appstreamcli is not installed; $metainfo is not validated"
fi
grep -q "<release version=\"$version\"" "$prefix/$metainfo" ||
    fail "$metainfo names no release $version"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" \
    "$prefix/$metainfo" || fail "$metainfo does not launch $(basename "$desktop")"
grep -q "<icon type=\"stock\">$icon</icon>" "$prefix/$metainfo" ||
    fail "$metainfo does not show the icon $icon"

# --- Manual pages render without a warning and carry the version.
for program in "${programs[@]}"; do
    page=$prefix/share/man/man1/$program.1.gz
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns about $program.1: $warnings"
    rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
    grep -q "^NAME" <<<"$rendered" || fail "$program.1 renders without a NAME"
    grep -q "Vornakle $version" <<<"$rendered" || fail "$program.1 does not name Vornakle $version"
done

# --- Completion: COMPREPLY, sorted and on one line, for the words after
# the program; the last word is the one being completed.
complete_words() {
    local program=$1
    shift
    bash --norc --noprofile -c '
        source "$1" || exit 3
        spec=$(complete -p "$(basename "$2")") || exit 4
        function=${spec#*-F }
        function=${function%% *}
        shift
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sed "/^$/d" | sort | paste -sd " " -
    ' completion "$prefix/share/bash-completion/completions/$program" "$prefix/bin/$program" "$@"
}

# Program, expected candidates, the words after the program.
completions=(
    'vornakle-check|--jobs|--jo'
    'vornakle-check|csv html json text|--format ""'
    'vornakle-check|json|--bad-only --format = j'
    'vornakle-check|chrome chromium|--browser ch'
    'vornakle-check|archive|--update-dead ""'
    'vornakle-check||--jobs ""'
    'vornakle-check||--url ""'
    "vornakle-check|$prefix/share|\"$prefix/sh\""
    "vornakle-check|$prefix/share|-- \"$prefix/sh\""
    'vornakle-check||-- --j'
    'vornakle-convert|--browser|--b'
    'vornakle-convert|--browser=firefox|--browser=f'
    "vornakle-convert|$prefix/bin|--browser firefox \"$prefix/bi\""
    'vornakle|--per-host|--per'
    'vornakle|classic current|--rules ""'
    'vornakle||--jobs ""'
    'vornakle||""'
)
for entry in "${completions[@]}"; do
    IFS='|' read -r program want words <<<"$entry"
    eval "arguments=($words)"
    got=$(complete_words "$program" "${arguments[@]}")
    [ "$got" = "$want" ] || fail "completing \"$program $words\" gave \"$got\", not \"$want\""
done

# --- Each program's --help, its manual page's options and its completion
# name the same options; the completed values of an option are accepted.
# The desktop program answers --help without a display, like the others.
option_names() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u | paste -sd " " -; }
for program in "${programs[@]}"; do
    if ! help=$(run "$program" --help 2>/dev/null); then
        fail "$program --help failed"
        continue
    fi
    help_options=$(option_names <<<"$help")
    [ -n "$help_options" ] || fail "$program --help names no option"
    page_options=$(gzip -dc "$prefix/share/man/man1/$program.1.gz" |
        awk '/^\.SH/ { options = ($2 == "OPTIONS") } options && tag { print } { tag = options && /^\.TP/ }' |
        sed 's/\\-/-/g' | option_names)
    [ "$help_options" = "$page_options" ] ||
        fail "$program: --help names \"$help_options\", its manual page \"$page_options\""

    [[ " ${completed[*]} " == *" $program "* ]] || continue
    got=$(complete_words "$program" --)
    [ "$got" = "$help_options" ] || fail "$program: completing -- gave \"$got\", not \"$help_options\""
    for option in --format --rules --browser --update-dead; do
        [[ " $help_options " == *" $option "* ]] || continue
        values=$(complete_words "$program" "$option" "")
        [ -n "$values" ] || fail "$program: no values complete after $option"
        for value in $values; do
            run "$program" "$option=$value" --help >/dev/null 2>&1 ||
                fail "$program refuses the completed $option=$value"
        done
        if run "$program" "$option=no-such-value" --help >/dev/null 2>&1; then
            fail "$program takes $option=no-such-value, so its values are not checked"
        fi
    done
done

if [ "$failures" -gt 0 ]; then
    echo "$failures failures"
    exit 1
fi
echo "The install tree is complete and consistent."
