# What the author's build says, from messages.tsv (see messages.py), for the
# shell scripts: msg ID [NAME=VALUE...] prints one message.
MSG_TABLE=$(dirname "${BASH_SOURCE[0]}")/messages.tsv

msg_lang() {
    local l=${LC_ALL:-${LC_MESSAGES:-${LANG:-}}}
    [[ $l == en* ]] && echo en || echo cs
}

msg() {
    local id=$1 text field column=2
    shift
    [ "$(msg_lang)" = en ] && column=3
    text=$(awk -F'\t' -v id="$id" -v c="$column" '$1 == id { print $c; exit }' "$MSG_TABLE")
    for field; do text=${text//"{${field%%=*}}"/"${field#*=}"}; done
    printf '%s\n' "$text"
}

# msg_count N ID: N, its digits in groups of three, with the noun's form
# for it: "146 263 bajtů".
msg_count() {
    local forms one few many n
    forms=$(msg "$2")
    IFS='|' read -r one few many <<<"$forms"
    n=$(sed ":a; s/\B[0-9]\{3\}\>/$(msg thousands)&/; ta" <<<"$1")
    if [ "$1" -eq 1 ]; then echo "$n $one"; elif [ "$1" -ge 2 ] && [ "$1" -le 4 ]; then echo "$n $few"; else echo "$n $many"; fi
}
