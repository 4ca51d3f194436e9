// Byte counts told in K, M and G (powers of 1024) with one cut decimal.
#ifndef VOLSURVEY_REPORT_SCALE_H_
#define VOLSURVEY_REPORT_SCALE_H_

#include <cstdint>

struct ScaledBytes {
  uint64_t whole;  // units, truncated (the count itself when unit is 0)
  uint32_t tenth;  // first decimal digit, truncated
  char unit;       // 'G', 'M', 'K', or 0 below 1024
};

ScaledBytes scale_bytes(uint64_t count);

// The size of a signed count, its sign aside: exact for the most negative
// too, which has no positive.
uint64_t magnitude(int64_t count);

// The exact count in plain decimal; `out` must hold 21 bytes.
const char* format_decimal(uint64_t count, char* out);

// A capacity as the size report scales it: 10.0G, or the count alone below
// 1024 bytes.  `out` must hold 24 bytes.
const char* format_scaled(uint64_t count, char* out);

#endif  // VOLSURVEY_REPORT_SCALE_H_
