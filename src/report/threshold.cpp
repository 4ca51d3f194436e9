#include "report/threshold.h"

#include "driver/settings.h"
#include "report/size.h"
#include "report/volume.h"
#include "text/sjis.h"

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

bool levels_set() {
  const auto set = [](const Levels& l) { return l.warning_set || l.critical_set; };
  if (set(settings.used_levels) || set(settings.free_levels) || set(settings.days_levels)) {
    return true;
  }
  for (size_t i = 0; i < own_levels.count; ++i) {
    const DriveLevels& own = own_levels.drives[i];
    if ((own.used_given && set(own.used)) || (own.free_given && set(own.free)) ||
        (own.days_given && set(own.days))) {
      return true;
    }
  }
  return false;
}

bool same_root(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (is_sjis_lead_byte(static_cast<unsigned char>(*a)) && a[1]) {
      if (a[0] != b[0] || a[1] != b[1]) return false;
      ++a;
      ++b;
    } else if (to_upper_ascii(static_cast<unsigned char>(*a)) !=
               to_upper_ascii(static_cast<unsigned char>(*b))) {
      return false;
    }
  }
  return *a == *b;
}

namespace {

// The worst of a drive's level by its used share, by its free space and by
// the days its forecast leaves; without a forecast that it fills, no level
// of days is passed.
Level level_of(const DriveRecord& r, const Judgement& j) {
  const SizeFigures& f = r.size;
  const uint64_t total = total_capacity(f), free = free_capacity(f), used = used_bytes(f);
  const auto used_past = [&](bool set, uint64_t percent) {
    return set && total != 0 && share_at_least(used, total, static_cast<uint32_t>(percent), 100);
  };
  const auto free_past = [&](bool set, uint64_t bytes) { return set && free < bytes; };
  const bool filling = r.forecast_made && r.forecast.trend == Trend::kFilling;
  const auto days_past = [&](bool set, uint64_t days) {
    return set && filling && r.forecast.days_until_full <= days;
  };
  if (used_past(j.used.critical_set, j.used.critical) ||
      free_past(j.free.critical_set, j.free.critical) ||
      days_past(j.days.critical_set, j.days.critical)) {
    return Level::kCritical;
  }
  if (used_past(j.used.warning_set, j.used.warning) ||
      free_past(j.free.warning_set, j.free.warning) ||
      days_past(j.days.warning_set, j.days.warning)) {
    return Level::kWarning;
  }
  return Level::kOk;
}

const DriveLevels* levels_of(const char* root) {
  for (size_t i = 0; root && i < own_levels.count; ++i) {
    if (same_root(own_levels.drives[i].root, root)) return &own_levels.drives[i];
  }
  return nullptr;
}

}  // namespace

Judgement judge_drive(const DriveRecord& record) {
  Judgement j;
  const DriveLevels* own = levels_of(record.root);
  j.used = own && own->used_given ? own->used : settings.used_levels;
  j.free = own && own->free_given ? own->free : settings.free_levels;
  j.days = own && own->days_given ? own->days : settings.days_levels;
  const bool any = j.used.warning_set || j.used.critical_set || j.free.warning_set ||
                   j.free.critical_set || j.days.warning_set || j.days.critical_set;
  if (!any || record.reached < Reached::kSize) return j;
  j.judged = true;
  if (record.facts.drive_type != kDriveCdrom) j.level = level_of(record, j);
  return j;
}

bool over_threshold(const DriveRecord& record) { return record.judgement.level != Level::kOk; }

uint64_t used_bytes_at(uint64_t total, uint64_t percent) {
  // total = 100a + b: a * percent bytes, and the least whole part of b's.
  const uint64_t a = total / 100, b = total % 100;
  return a * percent + (b * percent + 99) / 100;
}
