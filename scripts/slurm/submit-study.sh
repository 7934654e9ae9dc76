#!/usr/bin/env bash
# Runs one study on a Slurm cluster: a job array with one task per shard, each into its own
# data directory under WORK on the shared file system, and a merge job that runs once every
# task has succeeded (--dependency=afterok) and appends the records to WORK/merged in the
# order of the study's plan. Per-task logs go to WORK/logs. With --resubmit, only the shards
# that did not complete are submitted again, with a new merge job after them.
#
#   submit-study.sh --shards M --work DIR [OPTIONS] -- STUDY [STUDY OPTIONS...]
#   submit-study.sh --resubmit --work DIR [OPTIONS]
#
# STUDY is a quillon-cli study command and its options, without --shard, --jobs and
# --data-dir, for example:
#   submit-study.sh --shards 20 --work /shared/runs/cs200 --cpus 16 -- \
#       maximum --design cs --n "4 - 200" --tests "1 - 7" --men "0, 1, 3, 5"
#
# Options:
#   --cli PATH          quillon-cli on the compute nodes (default: quillon-cli on PATH, or
#                       the build folder's beside this script)
#   --cpus C            CPUs per task; the task computes C combinations at once (default 1)
#   --partition P       partition of both jobs
#   --time T            time limit of each array task (sbatch --time)
#   --sbatch-args "A"   further sbatch options for both jobs (split at blanks)
#   --merge-into DIR    data directory the merge appends to (default WORK/merged)
set -euo pipefail

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; }

shards="" work="" cli="" cpus=1 partition="" timelimit="" extra="" resubmit=0 merge_into=""
while [ $# -gt 0 ]; do
    case "$1" in
    --shards) shards=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --cli) cli=$2; shift 2 ;;
    --cpus) cpus=$2; shift 2 ;;
    --partition) partition=$2; shift 2 ;;
    --time) timelimit=$2; shift 2 ;;
    --sbatch-args) extra=$2; shift 2 ;;
    --merge-into) merge_into=$2; shift 2 ;;
    --resubmit) resubmit=1; shift ;;
    -h | --help) usage; exit 0 ;;
    --) shift; break ;;
    *) echo "submit-study.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    esac
done
[ -n "$work" ] || { echo "submit-study.sh: --work DIR is required" >&2; exit 2; }
command -v sbatch >/dev/null || { echo "submit-study.sh: sbatch is not installed here" >&2; exit 2; }

mkdir -p "$work/logs"
work=$(cd "$work" && pwd)
[ -n "$merge_into" ] || merge_into="$work/merged"

if [ "$resubmit" = 0 ]; then
    case "$shards" in '' | *[!0-9]* | 0) echo "submit-study.sh: --shards M (a whole number >= 1) is required" >&2; exit 2 ;; esac
    [ $# -gt 0 ] || { echo "submit-study.sh: give the study command after --" >&2; exit 2; }
    for a in "$@"; do
        case "$a" in --shard | --jobs | --data-dir) echo "submit-study.sh: '$a' is set by this script" >&2; exit 2 ;; esac
    done
    if [ -z "$cli" ]; then
        cli=$(command -v quillon-cli || true)
        [ -n "$cli" ] || cli="$(cd "$(dirname "$0")/../.." && pwd)/build/src/quillon-cli"
    fi
    [ -x "$cli" ] || { echo "submit-study.sh: $cli is not an executable quillon-cli" >&2; exit 2; }
    # The run's settings, kept for --resubmit.
    {
        printf 'shards=%q\n' "$shards"
        printf 'cli=%q\n' "$cli"
        printf 'cpus=%q\n' "$cpus"
        printf 'merge_into=%q\n' "$merge_into"
        printf 'study=('
        printf '%q ' "$@"
        printf ')\n'
    } >"$work/study.conf"
else
    [ -f "$work/study.conf" ] || { echo "submit-study.sh: $work holds no submitted study" >&2; exit 2; }
    # shellcheck disable=SC1091
    . "$work/study.conf"
fi

# The array task: shard $SLURM_ARRAY_TASK_ID of $shards into its own data directory.
cat >"$work/shard.sbatch" <<SCRIPT
#!/usr/bin/env bash
set -euo pipefail
. "$work/study.conf"
k=\$SLURM_ARRAY_TASK_ID
exec "\$cli" "\${study[@]}" --shard "\$k/\$shards" --jobs "\${SLURM_CPUS_PER_TASK:-\$cpus}" \\
    --threads "\${SLURM_CPUS_PER_TASK:-\$cpus}" --data-dir "$work/shard-\$k"
SCRIPT
# The merge: every shard, in share order.
cat >"$work/merge.sbatch" <<SCRIPT
#!/usr/bin/env bash
set -euo pipefail
. "$work/study.conf"
dirs=()
for k in \$(seq 1 "\$shards"); do dirs+=("$work/shard-\$k"); done
exec "\$cli" merge --data-dir "\$merge_into" "\${dirs[@]}"
SCRIPT

# The shards to submit: all, or (--resubmit) those without a completed shard record.
todo=()
for k in $(seq 1 "$shards"); do
    record="$work/shard-$k/QuillonShard.txt"
    if [ "$resubmit" = 0 ] || ! grep -qx "completed	yes" "$record" 2>/dev/null; then
        todo+=("$k")
    fi
done
common=()
[ -n "$partition" ] && common+=(--partition "$partition")
# shellcheck disable=SC2206
[ -n "$extra" ] && common+=($extra)
if [ ${#todo[@]} -eq 0 ]; then
    echo "Every shard has completed; submitting the merge only."
    merge=$(sbatch --parsable "${common[@]}" --job-name quillon-merge \
        --output "$work/logs/merge-%j.out" "$work/merge.sbatch")
    echo "merge job $merge"
    exit 0
fi
list=$(IFS=,; echo "${todo[*]}")
array_args=(--array "$list" --cpus-per-task "$cpus" --job-name quillon-shard
    --output "$work/logs/shard-%a.out")
[ -n "$timelimit" ] && array_args+=(--time "$timelimit")
array=$(sbatch --parsable "${common[@]}" "${array_args[@]}" "$work/shard.sbatch")
array=${array%%;*}
merge=$(sbatch --parsable "${common[@]}" --dependency "afterok:$array" --kill-on-invalid-dep=yes \
    --job-name quillon-merge --output "$work/logs/merge-%j.out" "$work/merge.sbatch")
merge=${merge%%;*}
echo "array job $array (shards $list of $shards), merge job $merge"
echo "logs: $work/logs; merged records: $merge_into"
printf '%s %s\n' "$array" "$merge" >"$work/last-jobs"
