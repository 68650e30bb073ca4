#!/usr/bin/env python3
"""Checks the cluster examples: the batch script passes `bash -n`, the Job
parses as YAML and is an Indexed Job whose N is its completions, and both run
the region command the README and docs/cluster.md show."""
import re
import subprocess
import sys

import yaml

top = sys.argv[1]
failures = []


def read(name):
    with open(f"{top}/{name}", encoding="utf-8") as file:
        return file.read()


def region_commands(text):
    return [line.strip() for line in text.splitlines() if line.strip().startswith("terrafetch-batch --region")
            and "--shard" in line]


readme = region_commands(read("README.md"))
if len(readme) != 1:
    failures.append(f"README.md shows {len(readme)} sharded region commands, not one")
command = readme[0] if readme else None
if region_commands(read("docs/cluster.md")) != readme:
    failures.append("docs/cluster.md does not show the README's region command")

script = read("docs/examples/region.sbatch")
check = subprocess.run(["bash", "-n", f"{top}/docs/examples/region.sbatch"], capture_output=True, text=True)
if check.returncode != 0:
    failures.append("region.sbatch fails bash -n: " + check.stderr.strip())
if region_commands(script) != readme:
    failures.append("region.sbatch does not run the README's command")
for needed in ("#SBATCH --array=", "K=${SLURM_ARRAY_TASK_ID}", "N=${SLURM_ARRAY_TASK_COUNT}"):
    if needed not in script:
        failures.append(f"region.sbatch lacks {needed}")

def body_holding(mapping, key):
    """The mapping's value that is a mapping holding `key` (a Kubernetes
    object's body, whatever its field is named); empty when none is."""
    return next((value for value in mapping.values() if isinstance(value, dict) and key in value), {})


job = yaml.safe_load(read("docs/examples/region-job.yaml"))
job_body = body_holding(job, "completionMode")
if job.get("kind") != "Job" or job.get("apiVersion") != "batch/v1" or job_body.get("completionMode") != "Indexed":
    failures.append("region-job.yaml is no batch/v1 Indexed Job")
pod = body_holding(job_body.get("template", {}), "containers")
container = pod["containers"][0]
environment = {entry["name"]: entry.get("value") for entry in container.get("env", [])}
if environment.get("N") != str(job_body.get("completions")):
    failures.append("region-job.yaml: N is not the Job's completions")
shell = "\n".join(container.get("args", []))
if "K=$JOB_COMPLETION_INDEX" not in shell:
    failures.append("region-job.yaml does not take K from the completion index")
if region_commands(shell) != readme:
    failures.append("region-job.yaml does not run the README's command")
mounts = {mount["name"] for mount in container.get("volumeMounts", [])}
volumes = {volume["name"] for volume in pod.get("volumes", [])}
if not mounts or mounts != volumes:
    failures.append("region-job.yaml mounts no shared volume it declares")
if command and not re.search(r'--shard "\$K/\$N"', command):
    failures.append("the README's command does not take its shard from K and N")

for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
