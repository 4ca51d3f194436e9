// Environment references over arbitrary lines and environment tables.  The
// input is the line, a NUL, then NUL-separated "NAME=value" entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/env_refs.h"
#include "config/line_reader.h"
#include "fuzz_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const char* line_end = static_cast<const char*>(memchr(bytes, '\0', size));
  std::string line(bytes, line_end ? static_cast<size_t>(line_end - bytes) : size);
  if (line.size() >= kConfigLineSize) line.resize(kConfigLineSize - 1);

  std::vector<std::string> entries;
  if (line_end) {
    std::string rest(line_end + 1, bytes + size);
    size_t start = 0;
    while (start <= rest.size() && entries.size() < 64) {
      size_t end = rest.find('\0', start);
      if (end == std::string::npos) end = rest.size();
      entries.push_back(rest.substr(start, end - start));
      start = end + 1;
    }
  }
  fuzz_set_environment(entries);

  for (size_t capacity : {size_t{1023}, size_t{1022}}) {
    std::vector<char> buffer(kConfigLineSize, '\0');
    memcpy(buffer.data(), line.data(), line.size());
    std::vector<char> name(capacity + 2);
    expand_env_refs(buffer.data(), buffer.size(), name.data(), capacity);
    if (strlen(buffer.data()) >= kConfigLineSize) abort();
    // Without a percent sign there is nothing to expand.
    if (line.find('%') == std::string::npos && line.compare(buffer.data()) != 0 &&
        line.find('\0') == std::string::npos) {
      abort();
    }
  }
  return 0;
}
