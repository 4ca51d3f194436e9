// The least a report of the named drives can cost: the questions the
// program asks kernel32 about each drive on the NT family, and nothing
// else (no configuration file, no threads, no text).  Timing the program
// against this one shows what its own start-up, threads and formatting
// add to the system's answers.
//   query_floor c d e f z
// Prints the raw answers, one line per question.
#include <windows.h>

#include <cstdio>

namespace {

void ask(char letter) {
  wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
  printf("%c: type %u\n", letter, GetDriveTypeW(root));

  wchar_t label[MAX_PATH + 1] = {}, fs[MAX_PATH + 1] = {};
  DWORD serial = 0, component = 0, flags = 0;
  BOOL ok = GetVolumeInformationW(root, label, MAX_PATH + 1, &serial, &component, &flags, fs,
                                  MAX_PATH + 1);
  printf("%c: volume %d %ls %08lx %lu %08lx %ls\n", letter, ok, label, serial, component, flags,
         fs);

  DWORD spc = 0, bps = 0, free_clusters = 0, total_clusters = 0;
  ok = GetDiskFreeSpaceW(root, &spc, &bps, &free_clusters, &total_clusters);
  printf("%c: space %d %lu %lu %lu %lu\n", letter, ok, spc, bps, free_clusters, total_clusters);

  ULARGE_INTEGER caller = {}, total = {}, total_free = {};
  ok = GetDiskFreeSpaceExW(root, &caller, &total, &total_free);
  printf("%c: space_ex %d %llu %llu %llu\n", letter, ok,
         static_cast<unsigned long long>(caller.QuadPart),
         static_cast<unsigned long long>(total.QuadPart),
         static_cast<unsigned long long>(total_free.QuadPart));
}

}  // namespace

int main(int argc, char** argv) {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  BOOL ok = GetVersionExA(&info);
  printf("version %d %lu %lu.%lu\n", ok, info.dwPlatformId, info.dwMajorVersion,
         info.dwMinorVersion);
  for (int i = 1; i < argc; ++i) ask(argv[i][0]);
  return 0;
}
