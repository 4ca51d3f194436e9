#include "report/printer.h"

#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"

void hold_drive(HeldDrives* held, const DriveRecord& record) {
  if (held->count == held->capacity) {
    const size_t capacity = held->capacity ? held->capacity * 2 : 8;
    DriveRecord* grown = allocate_array<DriveRecord>(capacity);
    if (held->count) memcpy(grown, held->records, held->count * sizeof(DriveRecord));
    free(held->records);
    held->records = grown;
    held->capacity = capacity;
  }
  held->records[held->count++] = record;
}

void release_drives(HeldDrives* held) {
  free(held->records);
  *held = HeldDrives{};
}
