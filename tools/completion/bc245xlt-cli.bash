# Completion of bc245xlt-cli for bash: commands, each command's options,
# COM1..COM4, /dev/serial/by-id names and /dev/tty* devices after --port,
# backup files (*.mrv) and folders elsewhere.
_bc245xlt_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command="" word
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        case $word in
        get | send | verify | show | diff | ports)
            command=$word
            break
            ;;
        esac
    done

    # With "=" among the word breaks, "--port=CO" comes as three words.
    if [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi
    local value=$cur
    [[ $value == = ]] && value=""
    case $cur in
    --port=* | --output=*)
        prev=${cur%%=*}
        value=${cur#*=}
        ;;
    esac
    case $prev in
    -p | --port)
        # The COM names, and the serial devices by path: their stable names
        # and the terminal devices.
        if [[ $value == /* ]]; then
            local candidate
            COMPREPLY=()
            for candidate in /dev/serial/by-id/* /dev/tty*; do
                [[ -e $candidate && $candidate == "$value"* ]] && COMPREPLY+=("$candidate")
            done
        else
            mapfile -t COMPREPLY < <(compgen -W "COM1 COM2 COM3 COM4" -- "$value")
        fi
        return
        ;;
    -o | --output)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(
            compgen -f -X '!*.mrv' -- "$value"
            compgen -d -- "$value"
        )
        return
        ;;
    -d | --description)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        local options="--quiet -q --help -h --version -V"
        case $command in
        get) options+=" --port= -p --output= -o --description= -d --force -f" ;;
        send) options+=" --port= -p --yes -y --verify --backup-first --backup-first=" ;;
        verify) options+=" --port= -p" ;;
        ports) options+=" --json --watch --timeout=" ;;
        esac
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
    elif [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W "get send verify show diff ports" -- "$cur")
    elif [[ $command != get && $command != ports ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -X '!*.mrv' -- "$cur"; compgen -d -- "$cur")
    fi
}
complete -F _bc245xlt_cli bc245xlt-cli
