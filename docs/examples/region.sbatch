#!/bin/bash
# A terraFetch region as a Slurm job array: each array task runs one shard of
# the region, all of them in one region folder on a shared volume, with one
# shared cache of the public sources. Submit with
#
#   sbatch docs/examples/region.sbatch
#
# and again after a failure or a cancel: finished quads are skipped, the
# others are made again. See docs/cluster.md.
#SBATCH --job-name=terrafetch-region
#SBATCH --array=0-7
#SBATCH --cpus-per-task=2
#SBATCH --mem=1G
#SBATCH --time=04:00:00
#SBATCH --output=terrafetch-region-%A-%a.out
set -euo pipefail

# The region folder and the cache: both on the volume every node mounts.
REGION_FOLDER=${REGION_FOLDER:-/shared/terrafetch/region}
export XDG_CACHE_HOME=${XDG_CACHE_HOME:-/shared/terrafetch/cache}

# This task's shard: K of N, from the array.
K=${SLURM_ARRAY_TASK_ID}
N=${SLURM_ARRAY_TASK_COUNT}

mkdir -p "$REGION_FOLDER"
cd "$REGION_FOLDER"
terrafetch-batch --region -99,39,-98,40 --size 0.25 --sources live --export geotiff --jobs 2 --shard "$K/$N"
