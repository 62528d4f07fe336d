# bash completion for tavmor: its commands, each command's options, the targets of
# `pack --target`, and file names where a command takes a file.

_tavmor() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local verbs="pack targets extract inspect verify" targets="linux-x86_64 linux-aarch64 linux-s390x windows-x86_64"
  COMPREPLY=()
  if [ "$COMP_CWORD" -eq 1 ]; then
    COMPREPLY=($(compgen -W "$verbs --help --version" -- "$cur"))
    return
  fi
  local options
  case ${COMP_WORDS[1]} in
    pack)
      case $prev in
        --target) COMPREPLY=($(compgen -W "$targets" -- "$cur")); return ;;
        -o | --output | --stub | --windows-icon) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --windows-version | --windows-title | --windows-description | --windows-publisher | \
          --windows-copyright) return ;;
      esac
      options="--output --target --stub --windows-icon --windows-version --windows-title
        --windows-description --windows-publisher --windows-copyright --help" ;;
    extract)
      case $prev in -o | --output) COMPREPLY=($(compgen -f -- "$cur")); return ;; esac
      options="--output --help" ;;
    inspect) options="--json --help" ;;
    verify | targets) options="--help" ;;
    *) return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [ "${COMP_WORDS[1]}" != targets ]; then
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _tavmor tavmor
