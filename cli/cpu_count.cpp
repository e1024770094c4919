#include "cli/cpu_count.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

namespace {

int fromSlurm() {
    const char* text = std::getenv("SLURM_CPUS_PER_TASK");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1 || value > 1 << 20) return 0;
    return static_cast<int>(value);
}

int fromAffinity() {
    // The mask may be wider than cpu_set_t on very large machines.
    for (int cpus = CPU_SETSIZE; cpus <= 1 << 20; cpus *= 4) {
        cpu_set_t* set = CPU_ALLOC(cpus);
        if (!set) return 0;
        const std::size_t size = CPU_ALLOC_SIZE(cpus);
        CPU_ZERO_S(size, set);
        const bool known = ::sched_getaffinity(0, size, set) == 0;
        const int count = known ? CPU_COUNT_S(size, set) : 0;
        CPU_FREE(set);
        if (known) return count;
        if (errno != EINVAL) return 0;
    }
    return 0;
}

}  // namespace

int availableCpuCount() {
    if (const int slurm = fromSlurm()) return slurm;
    if (const int affinity = fromAffinity()) return affinity;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}
