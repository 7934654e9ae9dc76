#!/usr/bin/env bash
# A real Slurm test on one machine: installs Debian's slurm-wlm and munge when missing,
# starts munged, slurmctld and slurmd as a single-node cluster on localhost with everything
# (configuration, key, state, spool, logs) in a temporary folder, submits a real maximum
# study split into 3 shards plus the merge job with submit-study.sh, waits for them, and
# compares the merged summary file with a serial run of the same study record for record
# (Time field aside). A second round makes one shard fail, checks that the merge did not
# run, and resubmits only that shard. The daemons it started are stopped by their process
# ids when it exits. Prints one PASS or FAIL line; exit status 0 only on PASS.
#
#   scripts/slurm/ci-test.sh [BUILD_DIR]      (default: $QUILLON_BUILD_DIR or build)
set -uo pipefail
cd "$(dirname "$0")/../.."
build=${1:-${QUILLON_BUILD_DIR:-build}}
cli="$(pwd)/$build/src/quillon-cli"
submit="$(pwd)/scripts/slurm/submit-study.sh"
deadline=$((SECONDS + 270))

fail() {
    echo "slurm ci-test: $*" >&2
    for f in "${tmp:-/nonexistent}"/*.log "${tmp:-/nonexistent}"/work*/logs/*.out; do
        [ -f "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }
    done
    echo "FAIL: Slurm study test ($*)"
    exit 1
}

[ -x "$cli" ] || fail "$cli is missing; build first"

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
if ! command -v slurmctld >/dev/null || ! command -v slurmd >/dev/null ||
    ! command -v sbatch >/dev/null || ! command -v munged >/dev/null; then
    echo "Installing slurm-wlm and munge..."
    export DEBIAN_FRONTEND=noninteractive
    as_root apt-get install -y --no-install-recommends slurm-wlm munge >/dev/null ||
        { as_root apt-get update >/dev/null && as_root apt-get install -y --no-install-recommends slurm-wlm munge >/dev/null; } ||
        fail "slurm-wlm and munge cannot be installed"
fi
# The daemons run as root (SlurmUser root), as the configuration below says.
if [ "$(id -u)" != 0 ]; then
    exec sudo --preserve-env=QUILLON_BUILD_DIR "$0" "$@"
fi

tmp=$(mktemp -d /tmp/quillon-slurm.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

# Ports away from the usual ones, so a cluster already on this machine is left alone.
port=$((20000 + RANDOM % 20000))
host=$(hostname -s)
mkdir -p "$tmp/munge" "$tmp/state" "$tmp/spool"
chmod 700 "$tmp/munge"
dd if=/dev/urandom of="$tmp/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$tmp/munge/munge.key"
socket="$tmp/munge/munge.socket"
munged -F --force --key-file="$tmp/munge/munge.key" --socket="$socket" \
    --pid-file="$tmp/munge/munged.pid" --seed-file="$tmp/munge/munged.seed" \
    >>"$tmp/munged.log" 2>&1 &
pids+=($!)

hardware=$(slurmd -C 2>/dev/null | head -n 1 | sed 's/^NodeName=[^ ]* //')
export SLURM_CONF="$tmp/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=quillonci
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
ReturnToService=2
MinJobAge=600
KillOnBadExit=1
NodeName=$host NodeAddr=127.0.0.1 $hardware State=UNKNOWN
PartitionName=ci Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF

for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || fail "munged did not start"
slurmctld -D -i -f "$SLURM_CONF" >>"$tmp/slurmctld.log" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >>"$tmp/slurmd.log" 2>&1 &
pids+=($!)

state=""
while [ $SECONDS -lt $deadline ]; do
    state=$(sinfo -h -n "$host" -o %T 2>/dev/null | head -n 1)
    case "$state" in idle* | mixed* | allocated*) break ;; esac
    sleep 0.5
done
case "$state" in idle* | mixed* | allocated*) ;; *) fail "the node did not come up (state '$state')" ;; esac

job_state() { scontrol show job "$1" 2>/dev/null | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p' | head -n 1; }
# Waits until the job has ended; prints its final state.
wait_job() {
    local s=""
    while [ $SECONDS -lt $deadline ]; do
        s=$(job_state "$1")
        case "$s" in PENDING | RUNNING | CONFIGURING | COMPLETING | "") sleep 0.5 ;; *) echo "$s"; return ;; esac
    done
    echo "TIMEOUT"
}

study=(maximum --n "6 - 14" --row1 overall --tests "1, 3" --men "0, 1" --accuracy .01)
"$cli" "${study[@]}" --jobs 1 --data-dir "$tmp/serial" >/dev/null || fail "the serial run failed"
masked() { sed -e 's/\t *[0-9.]*\r$//' "$1"; }

# Round 1: three shards and the merge.
"$submit" --shards 3 --work "$tmp/work" --cli "$cli" -- "${study[@]}" >"$tmp/submit.log" ||
    fail "submit-study.sh failed: $(cat "$tmp/submit.log")"
read -r array merge <"$tmp/work/last-jobs"
[ "$(wait_job "$merge")" = COMPLETED ] || fail "the merge job did not complete"
for k in 1 2 3; do
    [ -s "$tmp/work/logs/shard-$k.out" ] || [ -f "$tmp/work/logs/shard-$k.out" ] ||
        fail "no log of shard $k"
done
[ -f "$tmp/work/merged/MaximaSummary.txt" ] || fail "no merged summary file"
diff <(masked "$tmp/serial/MaximaSummary.txt") <(masked "$tmp/work/merged/MaximaSummary.txt") \
    >"$tmp/diff.log" || fail "the merged records differ from the serial run's"
records=$(($(wc -l <"$tmp/serial/MaximaSummary.txt") - 1))

# Round 2: shard 2 fails (its folder holds records of something else), so the merge never
# runs; with that mended, --resubmit submits shard 2 alone, and the merge follows.
mkdir -p "$tmp/work2/shard-2"
printf 'Head\r\nsomething else\r\n' >"$tmp/work2/shard-2/MaximaSummary.txt"
"$submit" --shards 3 --work "$tmp/work2" --cli "$cli" -- "${study[@]}" >"$tmp/submit2.log" ||
    fail "submit-study.sh failed: $(cat "$tmp/submit2.log")"
read -r array merge <"$tmp/work2/last-jobs"
merge_state=$(wait_job "$merge")
[ "$merge_state" != COMPLETED ] || fail "the merge ran although shard 2 failed"
[ ! -f "$tmp/work2/merged/MaximaSummary.txt" ] || fail "records were merged although shard 2 failed"
rm "$tmp/work2/shard-2/MaximaSummary.txt"
"$submit" --resubmit --work "$tmp/work2" >"$tmp/submit3.log" ||
    fail "the resubmission failed: $(cat "$tmp/submit3.log")"
grep -q "shards 2 of 3" "$tmp/submit3.log" || fail "the resubmission was not of shard 2 alone: $(cat "$tmp/submit3.log")"
read -r array merge <"$tmp/work2/last-jobs"
[ "$(wait_job "$merge")" = COMPLETED ] || fail "the merge after the resubmission did not complete"
diff <(masked "$tmp/serial/MaximaSummary.txt") <(masked "$tmp/work2/merged/MaximaSummary.txt") \
    >"$tmp/diff2.log" || fail "the records merged after the resubmission differ from the serial run's"

echo "PASS: Slurm study test ($records records of 3 shards merged as the serial run wrote them; a failed shard resubmitted alone)"
