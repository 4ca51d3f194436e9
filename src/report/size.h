// The size report: capacities, sector and cluster size, file counts.
#ifndef VOLSURVEY_REPORT_SIZE_H_
#define VOLSURVEY_REPORT_SIZE_H_

#include <cstdint>

#include "report/record.h"

struct DriveAsking;

// Asks the size figures of a drive whose volume has been asked (`facts`).
Stop ask_size(DriveAsking* drive, const VolumeFacts& facts, SizeFigures* f);

// The total and free capacity the report shows: the cluster counts times
// the cluster size from the classic query, the byte counts of the 64-bit one.
uint64_t total_capacity(const SizeFigures& f);
uint64_t free_capacity(const SizeFigures& f);

// Prints the size report's figures.
void print_size(const SizeFigures& f);

// The size report's line after its last, with a record of runs: how fast
// the drive fills and when it will be full, that it is not filling, or
// that its record is still too short to tell.
void print_forecast(const Forecast& forecast);

// The growth a day as the reports scale it ("1.2G", "-512.0M", "0");
// `out` holds 32 bytes.
const char* format_growth(int64_t growth, char* out);

// major * 100 + minor on the NT family, 0 on any other, -1 on failure.
int os_version();

// The cluster size assumed for a volume of `total_bytes` when the platform
// gives none that can be trusted.
uint32_t estimate_cluster_size(uint64_t total_bytes);

#endif  // VOLSURVEY_REPORT_SIZE_H_
