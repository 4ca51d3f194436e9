#include "report/size.h"

#include <cstring>

#include "console/pager.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "report/scale.h"
#include "report/volume.h"

namespace {

const uint32_t kPlatformNt = 2;

// GetDiskFreeSpaceA.
Stop disk_free_space(DriveAsking* drive, uint32_t* sectors_per_cluster, uint32_t* sector_size,
                     uint32_t* free_clusters, uint32_t* total_clusters) {
  Answer answer = plat_disk_free_space(drive, sectors_per_cluster, sector_size, free_clusters,
                                       total_clusters);
  if (answer == Answer::kNoAnswer) return Stop::kNoAnswer;
  return answer == Answer::kOk ? Stop::kNone : Stop::kUnreadable;
}

Stop classic_query(DriveAsking* drive, SizeFigures* f) {
  uint32_t free_clusters = 0, total_clusters = 0;
  Stop stop = disk_free_space(drive, &f->sectors_per_cluster, &f->sector_size, &free_clusters,
                              &total_clusters);
  f->free_clusters = free_clusters;
  f->total_clusters = total_clusters;
  f->cluster_size = static_cast<uint32_t>(f->sector_size * f->sectors_per_cluster);
  return stop;
}

// The classic query counts clusters in 32 bits.  On a volume of 2^32
// clusters or more (a NAS share of 4 TiB in 1 KiB units already has them)
// Windows answers 0xFFFFFFFF for a count that does not fit and Wine its low
// 32 bits, so there the 64-bit query's byte counts give the true ones.  Its
// free figure is the caller's, as the classic free count is.
Stop widen_cluster_counts(DriveAsking* drive, SizeFigures* f) {
  uint64_t caller_free = 0, total = 0, total_free = 0;
  FreeSpaceEx answer = plat_disk_free_space_ex(drive, &caller_free, &total, &total_free);
  if (answer == FreeSpaceEx::kNoAnswer) return Stop::kNoAnswer;
  if (answer != FreeSpaceEx::kOk || total / f->cluster_size <= UINT32_MAX) return Stop::kNone;
  f->total_clusters = total / f->cluster_size;
  f->free_clusters = caller_free / f->cluster_size;
  return Stop::kNone;
}

// The cluster counts of the extended query are its byte counts divided by
// the cluster size.
void derive_cluster_counts(SizeFigures* f) {
  f->free_clusters = f->free_bytes / f->cluster_size;
  f->total_clusters = f->total_bytes / f->cluster_size;
  f->sectors_per_cluster = static_cast<uint32_t>(f->cluster_size / f->sector_size);
}

Stop extended_query(DriveAsking* drive, const VolumeFacts& facts, SizeFigures* f) {
  FreeSpaceEx answer =
      plat_disk_free_space_ex(drive, &f->caller_free_bytes, &f->total_bytes, &f->free_bytes);
  if (answer == FreeSpaceEx::kNoAnswer) return Stop::kNoAnswer;
  if (answer != FreeSpaceEx::kOk) return Stop::kCapacityUnreadable;
  uint32_t sectors_per_cluster = 0, bytes_per_sector = 0;
  Answer request = plat_ext_free_space(drive, &sectors_per_cluster, &bytes_per_sector);
  if (request == Answer::kNoAnswer) return Stop::kNoAnswer;
  if (request == Answer::kOk) {
    f->sector_size = bytes_per_sector;
    f->cluster_size = static_cast<uint32_t>(bytes_per_sector * sectors_per_cluster);
    // Servers tend to report their own allocation unit, which can be far
    // larger than what a file really takes; a CD-ROM's is genuine.
    if (facts.drive_type == kDriveRemote && f->cluster_size > 4096 &&
        strcmp(facts.fs_name, "CDFS") != 0) {
      f->cluster_size = estimate_cluster_size(f->total_bytes);
      f->cluster_size_estimated = true;
    }
    return Stop::kNone;
  }
  // Only the sector size is taken from the classic query; its cluster
  // figures are limited to 2 GB and are replaced later.
  uint32_t unused_spc, unused_free, unused_total;
  Stop stop = disk_free_space(drive, &unused_spc, &f->sector_size, &unused_free, &unused_total);
  f->cluster_size = estimate_cluster_size(f->total_bytes);
  f->cluster_size_estimated = true;
  return stop;
}

// Capacity form: 1.9G(2147188736), or the count alone below 1024 bytes.
void print_capacity(const char* label, uint64_t count) {
  ScaledBytes s = scale_bytes(count);
  char exact[21];
  format_decimal(count, exact);
  if (s.unit == 0) {
    out_printf("%s:%sバイト", label, exact);
  } else {
    char whole[21];
    out_printf("%s:%s.%u%c(%s)バイト", label, format_decimal(s.whole, whole),
               static_cast<unsigned>(s.tenth), s.unit, exact);
  }
}

// Size form: 4K(4096), or the count alone below 1024 bytes.
void print_size_form(const char* label, uint32_t size) {
  ScaledBytes s = scale_bytes(size);
  if (s.unit == 0) {
    out_printf("%s:%uバイト", label, static_cast<unsigned>(size));
  } else {
    out_printf("%s:%u%c(%u)バイト", label, static_cast<unsigned>(s.whole), s.unit,
               static_cast<unsigned>(size));
  }
}

void print_clusters(uint64_t clusters) {
  char exact[21];
  report_printf("=%sクラスタ\n", format_decimal(clusters, exact));
}

// Without wide mode every line is indented so that its colon lines up with
// the labels that have no blanks of their own.
void indent() {
  if (!settings.wide_mode) out_puts("      ");
}

}  // namespace

int os_version() {
  uint32_t platform_id = 0, major = 0, minor = 0;
  if (!plat_version(&platform_id, &major, &minor)) return -1;
  if (platform_id != kPlatformNt) return 0;
  return static_cast<int>(major * 100 + minor);
}

uint32_t estimate_cluster_size(uint64_t total_bytes) {
  uint64_t mib = total_bytes / 1024 / 1024;
  if (mib <= 8191) return 4096;
  if (mib <= 16383) return 8192;
  if (mib <= 32767) return 16384;
  return 32768;
}

Stop ask_size(DriveAsking* drive, const VolumeFacts& facts, SizeFigures* f) {
  // The NT family answers the classic query with true sizes for every
  // volume; elsewhere it is capped at 2 GB and kept for the 16-bit kinds.
  const bool nt_family = os_version() > 0;
  f->classic_query = facts.fs_bits < 32 || nt_family;
  Stop stop = f->classic_query ? classic_query(drive, f) : extended_query(drive, facts, f);
  if (stop != Stop::kNone) return stop;
  // A platform that answers with a zero size would make the figures
  // divisions by zero; such a disk cannot be reported truthfully.
  if (f->sector_size == 0 || f->cluster_size == 0) return Stop::kUnreadable;
  if (nt_family) {
    stop = widen_cluster_counts(drive, f);
    if (stop != Stop::kNone) return stop;
  }
  if (!f->classic_query) derive_cluster_counts(f);
  return Stop::kNone;
}

uint64_t total_capacity(const SizeFigures& f) {
  return f.classic_query ? f.total_clusters * f.cluster_size : f.total_bytes;
}

uint64_t free_capacity(const SizeFigures& f) {
  return f.classic_query ? f.free_clusters * f.cluster_size : f.free_bytes;
}

void print_size(const SizeFigures& f) {
  const bool wide = settings.wide_mode != 0;
  indent();
  print_capacity("  全ディスク容量", total_capacity(f));
  print_clusters(f.total_clusters);

  indent();
  print_capacity("  空ディスク容量", free_capacity(f));
  print_clusters(f.free_clusters);

  if (!wide && !f.classic_query && f.caller_free_bytes != f.free_bytes) {
    print_capacity("スレッド空ディスク容量", f.caller_free_bytes);
    print_clusters(f.caller_free_bytes / f.cluster_size);
  }

  if (!wide) {
    print_size_form("        セクタ・サイズ", f.sector_size);
    report_printf("\n");
  }

  indent();
  print_size_form(f.cluster_size_estimated ? "クラスタ・サイズ(推定値)" : "クラスタ・サイズ",
                  static_cast<uint32_t>(f.cluster_size));
  report_printf("=%uセクタ\n", static_cast<unsigned>(f.sectors_per_cluster));

  if (!wide) {
    // Each file takes at least one cluster.
    char exact[21];
    report_printf("格納可能最大ファイル数:%s個\n", format_decimal(f.total_clusters, exact));
    report_printf("格納可能残りファイル数:%s個\n", format_decimal(f.free_clusters, exact));
  }
}

const char* format_growth(int64_t growth, char* out) {
  out[0] = '-';
  format_scaled(magnitude(growth), out + (growth < 0 ? 1 : 0));
  return out;
}

void print_forecast(const Forecast& forecast) {
  // Written outside the pager, as the other lines' leading pieces are.
  if (!settings.wide_mode) out_puts("      ");
  if (forecast.trend == Trend::kTooShort) {
    report_printf("容量の増加ペース:記録不足（1日以上・3回以上の記録で予測）\n");
    return;
  }
  char growth[32];
  format_growth(forecast.growth_per_day, growth);
  if (forecast.trend == Trend::kNotFilling) {
    report_printf("容量の増加ペース:%s/日（増加なし）\n", growth);
    return;
  }
  char days[24];
  report_printf("容量の増加ペース:%s/日（満杯まで%s日）\n", growth,
                format_decimal(forecast.days_until_full, days));
}
