#include "report/threshold.h"

#include "driver/settings.h"
#include "report/size.h"
#include "report/volume.h"

namespace {

// A 64-bit count times a 32-bit factor, as 96 bits: high and low words.
struct Product {
  uint64_t high;
  uint64_t low;
};

Product multiply(uint64_t count, uint32_t factor) {
  const uint64_t low = (count & 0xFFFFFFFFu) * factor;
  const uint64_t high = (count >> 32) * factor + (low >> 32);
  return Product{high >> 32, (high << 32) | (low & 0xFFFFFFFFu)};
}

bool at_least(const Product& a, const Product& b) {
  return a.high != b.high ? a.high > b.high : a.low >= b.low;
}

}  // namespace

bool share_at_least(uint64_t part, uint64_t whole, uint32_t numerator, uint32_t denominator) {
  return at_least(multiply(part, denominator), multiply(whole, numerator));
}

uint64_t used_bytes(const SizeFigures& f) {
  const uint64_t total = total_capacity(f), free = free_capacity(f);
  return free < total ? total - free : 0;
}

int used_percent(const SizeFigures& f) {
  const uint64_t total = total_capacity(f);
  if (total == 0) return -1;
  const uint64_t used = used_bytes(f);
  // The least whole percent that is not below the exact share.
  uint32_t percent = 0;
  while (percent < 100 && !share_at_least(total, used, 100, percent)) ++percent;
  return static_cast<int>(percent);
}

bool threshold_set() { return settings.used_limit != 0 || settings.free_limit_set; }

bool over_threshold(const DriveRecord& record) {
  if (record.reached < Reached::kSize || record.facts.drive_type == kDriveCdrom) return false;
  const SizeFigures& f = record.size;
  if (settings.used_limit != 0 && total_capacity(f) != 0 &&
      share_at_least(used_bytes(f), total_capacity(f), settings.used_limit, 100)) {
    return true;
  }
  return settings.free_limit_set && free_capacity(f) < settings.free_limit;
}
