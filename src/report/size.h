// The size report: capacities, sector and cluster size, file counts.
#ifndef VOLSURVEY_REPORT_SIZE_H_
#define VOLSURVEY_REPORT_SIZE_H_

#include <cstdint>

// Prints the size report of `root`; reads volume_facts of the same drive,
// so report_volume must have run for it first.
void report_size(const char* root);

// major * 100 + minor on the NT family, 0 on any other, -1 on failure.
int os_version();

// The cluster size assumed for a volume of `total_bytes` when the platform
// gives none that can be trusted.
uint32_t estimate_cluster_size(uint64_t total_bytes);

#endif  // VOLSURVEY_REPORT_SIZE_H_
