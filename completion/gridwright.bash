# Bash completion for gridwright: verbs, each verb's options, their values and
# file names (MIF documents and books where a verb takes one).

_gridwright() {
  local cur prev verb i
  COMPREPLY=()
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}

  local verbs="list-usage delete-unused create-tag-list keep-listed create-conversion-list convert
    remove-overrides find-override fix-headings report about check show script help version"
  local common="--yes --no --dry-run --no-progress --plugin --icu-data --jobs --help"

  verb=""
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      -*) ;;
      *) verb=${COMP_WORDS[i]}; break ;;
    esac
  done

  if [[ -z $verb ]]; then
    COMPREPLY=($(compgen -W "$verbs --help --version" -- "$cur"))
    return
  fi

  case $prev in
    --list-type) COMPREPLY=($(compgen -W "empty used all" -- "$cur")); return ;;
    --format) COMPREPLY=($(compgen -W "text json" -- "$cur")); return ;;
    --fail-on)
      COMPREPLY=($(compgen -W "all none unused missing-format override case-variant body-first-row drift template" -- "$cur"))
      return ;;
    --icu-data) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --plugin|--list|--output|-o|--report-mif|--template) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --jobs) COMPREPLY=($(compgen -W "1 2 4" -- "$cur")); return ;;
    --tag|--keep|--map|--after) return ;;
  esac

  local options
  case $verb in
    list-usage) options="--individual --by-tag --report-mif --output" ;;
    create-tag-list|create-conversion-list) options="--list-type --output" ;;
    keep-listed) options="--keep --list" ;;
    convert) options="--map --list" ;;
    find-override) options="--after" ;;
    report) options="--tag --report-mif --output" ;;
    check) options="--template --format --fail-on" ;;
    help) COMPREPLY=($(compgen -W "$verbs" -- "$cur")); return ;;
    version|about) return ;;
    script) COMPREPLY=($(compgen -f -- "$cur")); return ;;
  esac

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options $common" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -X '!*.@(mif|MIF|book|BOOK)' -- "$cur") $(compgen -d -- "$cur"))
  fi
}
complete -o filenames -F _gridwright gridwright
