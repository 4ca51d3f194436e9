#include "report/scale.h"

#include <cstring>

ScaledBytes scale_bytes(uint64_t count) {
  const uint64_t kK = 1024, kM = kK * 1024, kG = kM * 1024;
  uint64_t unit_size;
  char unit;
  if ((count >> 32) != 0 || count >= kG) {
    unit_size = kG;
    unit = 'G';
  } else if (count >= kM) {
    unit_size = kM;
    unit = 'M';
  } else if (count >= kK) {
    unit_size = kK;
    unit = 'K';
  } else {
    return ScaledBytes{count, 0, 0};
  }
  // The whole number is kept in full: a cloud file system that offers
  // "unlimited" space reports 8 or 16 EiB, 2^33 G and more.  The remainder
  // is below 2^30, so ten times it stays well inside 64 bits.
  return ScaledBytes{count / unit_size,
                     static_cast<uint32_t>(count % unit_size * 10 / unit_size),
                     unit};
}

const char* format_decimal(uint64_t count, char* out) {
  char digits[21];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + count % 10);
    count /= 10;
  } while (count != 0);
  for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  out[n] = '\0';
  return out;
}

uint64_t magnitude(int64_t count) {
  return count < 0 ? 0 - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
}

const char* format_scaled(uint64_t count, char* out) {
  const ScaledBytes s = scale_bytes(count);
  format_decimal(s.whole, out);
  if (s.unit != 0) {
    const size_t n = strlen(out);
    out[n] = '.';
    out[n + 1] = static_cast<char>('0' + s.tenth);
    out[n + 2] = s.unit;
    out[n + 3] = '\0';
  }
  return out;
}
