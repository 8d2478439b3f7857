#!/usr/bin/env bash
# The bash completion of parvolin and pvtool: what Tab offers after a given command line, and that
# every command pvtool lists is offered.
# usage: completion_test.sh DATA_DIR PVTOOL
set -u
data=$(realpath "$1")
pvtool=$(realpath "$2")
source "$data/completion/pvtool"
source "$data/completion/parvolin"
source "$data/completion/lvsvr"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch a.LV3 b.lv0 notes.txt c.pvcap ParvolinLog.ZERU list.htm s.scenario p.conf web.pem web.key
mkdir sub

failures=0
# check "EXPECTED WORDS" WORD... : completes the last word of the line, as bash splits it.
check() {
  local expected=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  "_$1"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
  if [ "$got" != "$expected" ]; then
    echo "FAIL: '$*' offered '$got', expected '$expected'"
    failures=$((failures + 1))
  fi
}

check "--help --version audit batch-wav capture convert list log recover replay retention settings sim status unit-settings units web-user" pvtool ""
check "add list passwd remove role" pvtool web-user ""
check "--help --role --state --version" pvtool web-user add anna -
check "admin listener supervisor" pvtool web-user add anna --role ""
check "admin listener supervisor" pvtool web-user role anna ""
check "--help --state --version" pvtool web-user list -
check "sub" pvtool web-user list --state ""
check "--help --json --since --state --version" pvtool audit -
check "--config --dry-run --folder --help --version" pvtool retention -
check "retention-at-limits= retention-days=" pvtool settings rete
check "folder= format=" pvtool settings --config p.conf f
check "1 2 3 4" pvtool unit-settings --driver sim ""
check "turn-off-delay=" pvtool unit-settings 2 tu
check "--help --version" pvtool --
check "a.LV3 b.lv0 sub" pvtool convert ""
check "--dava --force --help --raw16 --version -o" pvtool convert -
check "1 2" pvtool convert --dava ""
check "ParvolinLog.ZERU sub" pvtool log ""
check "--config --csv --help --json --jsonl --version" pvtool log --
check "p.conf sub" pvtool log --config ""
check "delete delete-all edit search sort-duration sort-port" pvtool list ""
check "list.htm sub" pvtool list search ""
check "--from --help --text --to --version --yes" pvtool list search l.htm --
check "list.htm sub" pvtool batch-wav ""
check "--folder --help --json --version --watch" pvtool status --
check "sub" pvtool status --folder ""
check "--dry-run --help --list --rebuild-list --version --wav" pvtool recover --
check "c.pvcap sub" pvtool capture ""
check "sub" pvtool replay c.pvcap --folder ""
check "builtin s.scenario sub" pvtool sim ""
check "c.pvcap sub" pvtool sim s.scenario -o ""
check "d2xx ftdi sim" pvtool units --driver ""
check "s.scenario sub" pvtool units --simulate = ""
check "--headless --help" parvolin --he
check "--realtime --replay" parvolin --re
check "d2xx ftdi sim" parvolin --driver ""
check "c.pvcap sub" parvolin --replay ""
check "p.conf sub" parvolin --config ""
check "sub" parvolin --folder ""
check "s.scenario sub" parvolin --simulate = ""
check "--config --folder --help --listen --state --tls-cert --tls-key --version" lvsvr --
check "sub" lvsvr --folder ""
check "sub" lvsvr --state ""
check "sub web.key web.pem" lvsvr --tls-key ""
check "p.conf sub" lvsvr --config ""
check "127.0.0.1:8480" lvsvr --listen 127

# Every command pvtool lists is offered, and every option its --help shows.
commands=$("$pvtool" --help | sed -n '/^commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p' | wc -l)
if [ "$commands" -lt 8 ]; then
  echo "FAIL: pvtool --help listed $commands commands"
  failures=$((failures + 1))
fi
for command in $("$pvtool" --help | sed -n '/^commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p'); do
  check "$command" pvtool "$command"
  words=(pvtool "$command")
  [ "$command" = list ] && words+=(search)
  COMP_WORDS=("${words[@]}" --)
  COMP_CWORD=${#words[@]}
  COMPREPLY=()
  _pvtool
  # The options of its usage lines and of its option lines.
  for option in $("$pvtool" "$command" --help | grep -E '^(usage: |       pvtool |  +-)' |
    grep -o -- '--[a-z0-9][a-z0-9-]*' | sort -u); do
    if ! printf '%s\n' "${COMPREPLY[@]}" | grep -qx -- "$option"; then
      echo "FAIL: pvtool $command --help shows $option, which completion does not offer"
      failures=$((failures + 1))
    fi
  done
done

if [ "$failures" -ne 0 ]; then
  echo "$failures completion checks failed"
  exit 1
fi
echo "completion checks passed"
