#include "report/size.h"

#include <gtest/gtest.h>

TEST(SizeReport, ClusterSizeEstimateThresholds) {
  const uint64_t kMiB = 1024 * 1024;
  struct {
    uint64_t total_bytes;
    uint32_t cluster_size;
  } const cases[] = {
      {0, 4096},
      {8191 * kMiB, 4096},
      {8192 * kMiB - 1, 4096},  // whole MiB count, truncated
      {8192 * kMiB, 8192},
      {16383 * kMiB, 8192},
      {16384 * kMiB, 16384},
      {32767 * kMiB, 16384},
      {32768 * kMiB, 32768},
      {1ull << 50, 32768},
      {1ull << 52, 32768},  // 4 PiB: 2^32 MiB, a count that needs 33 bits
  };
  for (const auto& c : cases)
    EXPECT_EQ(estimate_cluster_size(c.total_bytes), c.cluster_size) << c.total_bytes;
}
