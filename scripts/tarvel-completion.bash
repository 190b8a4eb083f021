# Bash completion for tarvel: the options of `tarvel --help`, a folder for DEMO_DIR, and the
# values of the options that take one. Installed as share/bash-completion/completions/tarvel;
# needs nothing from the bash-completion package.

_tarvel() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev= after_equals= prefix=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD-1]}
    local options='--start --end --size --fullscreen --no-sound --video --profile --from --to --no-audio --jobs
        --video-plan --video-join --fps --watch --serve --timeline --no-dialog --check --lsp --help --version'
    local video='!*.@(mp4|mkv|webm|mov|avi|gif|MP4|MKV|WEBM|MOV|AVI|GIF)'
    COMPREPLY=()

    # OPTION=VALUE completes VALUE like the word after OPTION. Bash may have split the word at
    # '=' (when '=' is in COMP_WORDBREAKS) or not.
    if [[ $cur == --*=* ]]; then
        prefix=${cur%%=*}= prev=${cur%%=*} cur=${cur#*=} after_equals=1
    elif [[ $cur == = ]]; then
        cur= after_equals=1
    elif [[ $prev == = ]] && ((COMP_CWORD >= 2)); then
        prev=${COMP_WORDS[COMP_CWORD-2]} after_equals=1
    fi

    local words
    case $prev in
        --video) words=$(compgen -d -- "$cur"; compgen -f -X "$video" -- "$cur") ;;
        --timeline) words=$(compgen -d -- "$cur"; compgen -f -X '!*.@(svg|SVG)' -- "$cur") ;;
        --size) words=$(compgen -W '640x360 1280x720 1920x1080 640x480 1024x768' -- "$cur") ;;
        --fps) words=$(compgen -W '24 25 30 50 60' -- "$cur") ;;
        --profile) words=$(compgen -W 'web compo master' -- "$cur") ;;
        --jobs | --video-plan | --video-join) words=$(compgen -W "2 4 $(nproc 2>/dev/null)" -- "$cur") ;;
        --start | --end | --from | --to) return ;;
        *)
            # --serve takes its value after '=' only; a word after a bare --serve is DEMO_DIR.
            if [[ $prev == --serve && $after_equals ]]; then
                words=$(compgen -W '8737 0 127.0.0.1:8737 0.0.0.0:8737' -- "$cur")
            elif [[ $cur == -* ]]; then
                words=$(compgen -W "$options" -- "$cur")
            else
                words=$(compgen -d -- "$cur")
            fi ;;
    esac
    [[ $prev == --video || $prev == --timeline || $cur != -* ]] && compopt -o filenames 2>/dev/null
    [[ -n $words ]] && mapfile -t COMPREPLY <<<"$words"
    # A word bash did not split keeps its OPTION= part.
    [[ -n $prefix ]] && COMPREPLY=("${COMPREPLY[@]/#/$prefix}")
    return 0
}

# extglob serves the extension patterns above.
shopt -s extglob
complete -F _tarvel tarvel
