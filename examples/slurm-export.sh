#!/bin/sh
# A Slurm job array that runs a plan of `tarvel --video-plan`: task K runs line K, one span of
# the export; the last line, the join, runs once all of them are done. The plan's paths are
# absolute, so the nodes must see the demo folder and the output's folder at the same paths.
#   tarvel --video-plan 16 /shared/show.mp4 --profile compo /shared/demo > /shared/plan.sh
#   spans=$(($(wc -l < /shared/plan.sh) - 1))
#   job=$(sbatch --parsable --array=1-$spans examples/slurm-export.sh /shared/plan.sh)
#   sbatch --dependency=afterok:$job --wrap "tail -n 1 /shared/plan.sh | sh"
# A node without an X server renders its span on a virtual one: examples/with-virtual-display,
# or TARVEL_VIRTUAL_DISPLAY where sbatch runs a copy of this script from its spool folder.
#SBATCH --job-name=tarvel-span
#SBATCH --cpus-per-task=2
set -e
plan=${1:?usage: slurm-export.sh PLAN}
line=$(sed -n "${SLURM_ARRAY_TASK_ID:?run as a job array: sbatch --array=1-N}p" "$plan")
[ -n "$line" ] || { echo "slurm-export.sh: no line $SLURM_ARRAY_TASK_ID in $plan" >&2; exit 1; }
if [ -n "$DISPLAY" ]; then
  exec sh -c "$line"
fi
exec "${TARVEL_VIRTUAL_DISPLAY:-$(dirname "$0")/with-virtual-display}" sh -c "$line"
