# bash completion of povupdate. The commands and options come from the
# program's own --help, so they are always those of the povupdate being
# completed; option values and arguments complete as files (directories for
# a DIR).

# The first column of one section ("Options", "Subcommands", "Positionals")
# of a help text on standard input.
_povupdate_column() {
  awk -F '  +' -v section="$1:" '$0 == section { on = 1; next } /^$|^[^ ]/ { on = 0 } on { print $2 }'
}

_povupdate() {
  local program=${COMP_WORDS[0]} cur=${COMP_WORDS[COMP_CWORD]} help word i
  local -a command=() options
  help=$("$program" --help 2>/dev/null) || return 0
  # Walk the words before the cursor: each that names a subcommand of the
  # command so far extends it; an option's value is passed over.
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word == -* ]]; then
      _povupdate_column Options <<<"$help" | grep -Eq -- "(^|,)$word [A-Z]" && ((i++))
    elif _povupdate_column Subcommands <<<"$help" | grep -qx -- "$word"; then
      command+=("$word")
      help=$("$program" "${command[@]}" --help 2>/dev/null) || return 0
    fi
  done

  word=$(_povupdate_column Options <<<"$help" | grep -E -- "(^|,)${COMP_WORDS[COMP_CWORD - 1]} [A-Z]")
  if [[ $COMP_CWORD -gt 1 && -n $word ]]; then
    compopt -o filenames 2>/dev/null
    if [[ $word == *" DIR"* ]]; then
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
    else
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
  elif [[ $cur == -* ]]; then
    mapfile -t options < <(_povupdate_column Options <<<"$help" | awk '{ print $1 }' | tr , '\n')
    mapfile -t COMPREPLY < <(compgen -W "${options[*]}" -- "$cur")
  elif _povupdate_column Subcommands <<<"$help" | grep -q .; then
    mapfile -t COMPREPLY < <(compgen -W "$(_povupdate_column Subcommands <<<"$help")" -- "$cur")
  elif _povupdate_column Positionals <<<"$help" | grep -q .; then
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
  return 0
}

complete -F _povupdate povupdate
