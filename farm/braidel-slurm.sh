#!/usr/bin/env bash
# One task of a Slurm array job that filters a numbered frame sequence with braidel-run: task
# N filters the N-th chunk of frames, skipping every output an earlier run finished.
#
#   sbatch --array=0-TASKS%AT_ONCE farm/braidel-slurm.sh FIRST-LAST CHUNK ARGUMENTS...
#
# FIRST-LAST are the sequence's frames, CHUNK the frames a task takes (the last task may take
# fewer), and ARGUMENTS are braidel-run's own, the numbered INPUT and OUTPUT (or --out-dir DIR
# and INPUT) among them. farm/braidel-submit computes the array from the range and the chunk.
#
# Inputs, outputs and braidel-run must be on a file system that every node shares, at the same
# path (BRAIDEL_RUN names the program; default: braidel-run on PATH). An output is written to a
# temporary file in its own folder and renamed over its name once complete, which is atomic on
# NFS too, so an output that exists is a finished one.
#
# Requeue-safe: a stop (scancel, preemption, the time limit) sends SIGTERM first; braidel-run
# then removes its temporary files and exits 128 + 15, and the task started again (--requeue,
# or the same array submitted again) filters only the frames whose outputs are missing. The
# task exits with braidel-run's code, so the scheduler's state shows which chunks failed (3: an
# unreadable frame, 2: a frame of the range missing, ...).
#
#SBATCH --job-name=braidel
#SBATCH --requeue
#SBATCH --open-mode=append
#SBATCH --cpus-per-task=1
set -u

if (($# < 3)); then
    echo "usage: sbatch --array=0-N farm/braidel-slurm.sh FIRST-LAST CHUNK ARGUMENTS..." >&2
    exit 2
fi
range=$1 chunk=$2
shift 2
if [[ ! $chunk =~ ^[1-9][0-9]*$ ]] || [[ ! $range =~ ^([0-9]+)-([0-9]+)$ ]]; then
    echo "braidel-slurm: FIRST-LAST and CHUNK must be whole numbers, not '$range' '$chunk'" >&2
    exit 2
fi
first=$((10#${BASH_REMATCH[1]})) last=$((10#${BASH_REMATCH[2]}))
task=${SLURM_ARRAY_TASK_ID:?not an array task; submit with sbatch --array}
from=$((first + task * chunk))
to=$((from + chunk - 1 < last ? from + chunk - 1 : last))
if ((from > last)); then
    echo "braidel-slurm: task $task is past frame $last; nothing to do" >&2
    exit 0
fi

echo "braidel-slurm: job ${SLURM_ARRAY_JOB_ID:-?} task $task on $(hostname): frames $from-$to" \
    "(restart ${SLURM_RESTART_COUNT:-0})" >&2
# One frame at a time unless the task was given more processors; ARGUMENTS may say otherwise.
"${BRAIDEL_RUN:-braidel-run}" --jobs "${SLURM_CPUS_PER_TASK:-1}" --skip-existing \
    --frames "$from-$to" "$@"
code=$?
echo "braidel-slurm: task $task exits $code" >&2
exit "$code"
