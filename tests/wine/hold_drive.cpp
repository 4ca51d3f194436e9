// Keeps a handle open on a drive's root until its standard input closes.
//   hold_drive ROOT        (e.g. N:\)
// Prints "held" once the handle is open.  Under Wine, the server asks the
// file system about the device (statfs) when a file of it is opened while
// no handle holds it; a drive whose statfs stops answering would then stop
// the server and every program of the prefix.  While this program holds the
// drive, the server does not ask, and a stalled statfs stops only the
// program thread that asked for the drive's free space.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: hold_drive ROOT\n");
    return 2;
  }
  HANDLE root = CreateFileA(argv[1], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (root == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "hold_drive: cannot open %s: error %lu\n", argv[1], GetLastError());
    return 1;
  }
  puts("held");
  fflush(stdout);
  // Until whoever started this program closes its end of the pipe, or ends
  // (which closes it as well).
  while (getchar() != EOF) {
  }
  CloseHandle(root);
  return 0;
}
