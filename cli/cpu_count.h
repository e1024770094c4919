// How many render threads a run may use without oversubscribing its share
// of the machine.
#pragma once

// SLURM_CPUS_PER_TASK when it holds a positive count (a batch job gets
// those CPUs, whatever the node has); otherwise the CPUs in this process's
// affinity mask (taskset, cgroup cpusets); otherwise the hardware threads.
// At least one.
int availableCpuCount();
