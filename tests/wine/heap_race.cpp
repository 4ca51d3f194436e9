// A Windows program with none of volsurvey's code, to show that Wine's
// heap checks can report damage that no code of the program made: THREADS
// threads ask kernel32 about one drive at once, CALLS times each, and
// allocate nothing themselves.  Run under Wine with WINEDEBUG=+heap; any
// "err:heap" line then is Wine's own (tests/wine/NOTES.md).
//   heap_race ROOT QUERY THREADS CALLS
//     QUERY: free (GetDiskFreeSpaceExW), volume (GetVolumeInformationW) or
//     type (GetDriveTypeW)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const wchar_t* g_root = L"C:\\";
const char* g_query = "free";
long g_calls = 300;
HANDLE g_go = nullptr;

DWORD WINAPI asker(void*) {
  WaitForSingleObject(g_go, INFINITE);
  for (long i = 0; i < g_calls; ++i) {
    if (strcmp(g_query, "free") == 0) {
      ULARGE_INTEGER available, total, free_bytes;
      GetDiskFreeSpaceExW(g_root, &available, &total, &free_bytes);
    } else if (strcmp(g_query, "volume") == 0) {
      wchar_t label[MAX_PATH + 1], fs[MAX_PATH + 1];
      DWORD serial = 0, component = 0, flags = 0;
      GetVolumeInformationW(g_root, label, MAX_PATH + 1, &serial, &component, &flags, fs,
                            MAX_PATH + 1);
    } else {
      GetDriveTypeW(g_root);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  static wchar_t root[MAX_PATH];
  if (argc > 1) {
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, root, MAX_PATH);
    g_root = root;
  }
  if (argc > 2) g_query = argv[2];
  const long threads = argc > 3 ? strtol(argv[3], nullptr, 10) : 8;
  if (argc > 4) g_calls = strtol(argv[4], nullptr, 10);
  if (threads < 1 || threads > 64 || g_calls < 1) {
    fputs("heap_race ROOT free|volume|type THREADS(1-64) CALLS\n", stderr);
    return 2;
  }
  g_go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE handles[64];
  for (long i = 0; i < threads; ++i) {
    DWORD id = 0;
    handles[i] = CreateThread(nullptr, 0, asker, nullptr, 0, &id);
    if (!handles[i]) return 1;
  }
  SetEvent(g_go);
  WaitForMultipleObjects(static_cast<DWORD>(threads), handles, TRUE, INFINITE);
  puts("done");
  return 0;
}
