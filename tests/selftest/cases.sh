#!/bin/sh
# Runs scripts/selftest against the simulated machine with one promise broken at a time, and
# checks that the steps concerned fail, the others pass, and the settings still come back.
# Usage: tests/selftest/cases.sh CASE BIN   (CASE: passes, setting-not-back, silent-capture,
# programs-broken)
set -u
case_=$1
bin=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/sorvane-selftest-case-XXXXXX")
trap 'rm -rf "$work"' EXIT
wrong=0

# expect TEXT: the self-test said a line holding TEXT.
expect() {
    grep -qF -- "$1" "$work/said" || { echo "expected a line with: $1"; wrong=1; }
}

case $case_ in
    setting-not-back)
        # The main volume of the speakers moves during the hold and can no longer be set back.
        SORVANE_SELFTEST_DURING_HOLD='grep -q "\"volm\"" "$SORVANE_MACHINE" || sed -i -e "s/\"0\": 0.75/\"0\": 0.25/" -e "s/\"uid\": \"spk\",/\"uid\": \"spk\", \"faults\": {\"volm\": \"readonly\"},/" "$SORVANE_MACHINE"'
        export SORVANE_SELFTEST_DURING_HOLD ;;
    silent-capture)
        # The player sounds at level 0: the stream a Mac gives without the permission.
        SORVANE_SELFTEST_DURING_PLAY='sed -i "s/\"playing\": true,/\"playing\": true, \"level\": 0,/" "$SORVANE_MACHINE"'
        export SORVANE_SELFTEST_DURING_PLAY ;;
    programs-broken)
        # sorvane-tap is missing; sorvane-sound's switch dies once it has switched, with status 1.
        mkdir "$work/bin"
        cat >"$work/bin/sorvane-sound" <<STUB
#!/bin/sh
if [ "\$1" = --switch ]; then
    sleep 5 2>/dev/null | "$bin/sorvane-sound" "\$@" &
    sleep 1
    kill -KILL \$!
    exit 1
fi
exec "$bin/sorvane-sound" "\$@"
STUB
        chmod +x "$work/bin/sorvane-sound"
        SORVANE_SELFTEST_BIN=$work/bin
        export SORVANE_SELFTEST_BIN ;;
esac

"$root/scripts/selftest" "$bin" --log "$work/log" >"$work/said"
status=$?
cat "$work/said"

case $case_ in
    passes)
        [ "$status" = 0 ] || { echo "exit status $status, not 0"; wrong=1; }
        expect "4 passed, 0 failed, 0 skipped" ;;
    setting-not-back)
        expect "step 1, read side: passed"
        expect "step 2, a switch that changes nothing: FAILED: --read differs from before"
        expect "step 3, a switch that changes something: FAILED: ended by close: --read differs from before"
        expect "step 4, capture: passed"
        expect "after: FAILED: the settings are not as they were" ;;
    silent-capture)
        expect "step 3, a switch that changes something: passed"
        expect "step 4, capture: FAILED: the stream is all zeros"
        expect "System Audio Recording permission" ;;
    programs-broken)
        expect "step 1, read side: passed"
        expect "step 2, a switch that changes nothing: FAILED: sorvane-sound --switch exited with status 1"
        expect "step 3, a switch that changes something: FAILED: sorvane-sound --switch ended by close exited with status 1"
        expect "step 4, capture: FAILED"
        # The switch of step 3 was left standing; the self-test's own restore puts it back.
        expect "after: the settings are as they were before the self-test"
        grep -q -- "--restore" "$work/log" || { echo "the log shows no restore"; wrong=1; } ;;
esac
if [ "$case_" != passes ]; then
    [ "$status" = 1 ] || { echo "exit status $status, not 1"; wrong=1; }
fi
exit $wrong
