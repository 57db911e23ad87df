#!/bin/sh
# Runs scripts/selftest against the simulated machine with one promise broken at a time, and
# checks that the steps concerned fail, the others pass, and the settings still come back; and
# against machines shaped like a hosted runner, and like a Mac whose first other output cannot
# be the default.
# Usage: tests/selftest/cases.sh CASE BIN   (CASE: passes, setting-not-back, silent-capture,
# programs-broken, runner, no-device, cannot-be-default)
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

# machine JSON: the self-test starts from this machine file.
machine() {
    printf '%s\n' "$1" >"$work/machine.json"
    SORVANE_SELFTEST_MACHINE=$work/machine.json
    export SORVANE_SELFTEST_MACHINE
}

# selftest: runs the self-test; what it said in $work/said, its exit status in `status`.
selftest() {
    "$root/scripts/selftest" "$bin" --log "$work/log" >"$work/said"
    status=$?
    cat "$work/said"
}

# Apple's virtual sink, as on a hosted runner: its rate cannot be changed there, and it has no
# volume, so the switch is given a change that it skips.
runner_machine='{"defaultOutput": "NullAudioDevice_UID", "processes": [], "devices": [
    {"uid": "NullAudioDevice_UID", "name": "Null Audio Device", "rate": 48000,
     "rates": [[44100, 44100], [48000, 48000]], "output": [2], "faults": {"nsrt": "readonly"}}]}'
# The player sounds at level 0: the stream a Mac gives without the permission.
silent_player='sed -i "s/\"playing\": true,/\"playing\": true, \"level\": 0,/" "$SORVANE_MACHINE"'

case $case_ in
    setting-not-back)
        # The main volume of the speakers moves during the hold and can no longer be set back.
        SORVANE_SELFTEST_DURING_HOLD='grep -q "\"volm\"" "$SORVANE_MACHINE" || sed -i -e "s/\"0\": 0.75/\"0\": 0.25/" -e "s/\"uid\": \"spk\",/\"uid\": \"spk\", \"faults\": {\"volm\": \"readonly\"},/" "$SORVANE_MACHINE"'
        export SORVANE_SELFTEST_DURING_HOLD ;;
    silent-capture)
        SORVANE_SELFTEST_DURING_PLAY=$silent_player
        export SORVANE_SELFTEST_DURING_PLAY ;;
    runner)
        machine "$runner_machine"
        SORVANE_SELFTEST_DURING_PLAY=$silent_player
        SORVANE_SELFTEST_RUNNER=github-hosted
        export SORVANE_SELFTEST_DURING_PLAY SORVANE_SELFTEST_RUNNER ;;
    no-device)
        # A hosted runner whose one device did not start. First without the runner's variable.
        machine '{"devices": [], "processes": []}' ;;
    cannot-be-default)
        # The first other output is a virtual device whose driver says it cannot be the default.
        machine '{"defaultOutput": "spk", "processes": [], "devices": [
            {"uid": "spk", "name": "Speakers", "rate": 48000, "output": [2], "volume": {"0": 0.75}},
            {"uid": "virtual", "name": "App Bridge", "rate": 48000, "output": [2], "canBeDefault": false},
            {"uid": "hdmi", "name": "Display", "rate": 48000, "output": [2]}]}' ;;
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

selftest

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
    runner)
        [ "$status" = 0 ] || { echo "exit status $status, not 0"; wrong=1; }
        expect "step 1, read side: passed"
        expect "step 2, a switch that changes nothing: passed"
        expect "step 3, a switch that changes something: skipped: nothing other to switch to: the switch skipped [\"the output NullAudioDevice_UID at 44100 Hz\"] (a hosted runner's one device may take no change)"
        expect "step 4, capture: skipped: the stream is all zeros"
        expect "(no app has that permission on a hosted runner)"
        expect "2 passed, 0 failed, 2 skipped" ;;
    no-device)
        expect "step 1, read side: passed"
        expect "step 2, a switch that changes nothing: FAILED: --read named no default device to keep"
        expect "step 3, a switch that changes something: skipped: there is no default output to switch away from"
        expect "step 4, capture: FAILED: there is no default output to play the tone on"
        [ "$status" = 1 ] || { echo "exit status $status, not 1"; wrong=1; }
        SORVANE_SELFTEST_RUNNER=github-hosted
        export SORVANE_SELFTEST_RUNNER
        selftest
        [ "$status" = 0 ] || { echo "with the runner's variable: exit status $status, not 0"; wrong=1; }
        expect "step 2, a switch that changes nothing: skipped: --read named no default device to keep (a hosted runner may have no audio device at all)"
        expect "step 4, capture: skipped: there is no default output to play the tone on (a hosted runner may have no audio device at all)"
        expect "1 passed, 0 failed, 3 skipped" ;;
    cannot-be-default)
        [ "$status" = 0 ] || { echo "exit status $status, not 0"; wrong=1; }
        expect "step 3, a switch that changes something: passed, after: the switch skipped [\"the output App Bridge as the default\"]"
        grep -qF 'standard input of the next command: {"output":{"name":"Display","uid":"hdmi"}}' "$work/log" ||
            { echo "the log shows no switch to the next output"; wrong=1; }
        expect "4 passed, 0 failed, 0 skipped" ;;
esac
case $case_ in
    passes | runner | no-device | cannot-be-default) ;;
    *)
        [ "$status" = 1 ] || { echo "exit status $status, not 1"; wrong=1; } ;;
esac
exit $wrong
