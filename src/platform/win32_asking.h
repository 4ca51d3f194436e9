// One drive being asked, as the Windows layer keeps it: shared by the
// drive's queries (win32_drives.cpp) and the queries of the volume a path
// lies on (win32_mounts.cpp).
#ifndef VOLSURVEY_PLATFORM_WIN32_ASKING_H_
#define VOLSURVEY_PLATFORM_WIN32_ASKING_H_

#include <windows.h>

#include "platform/win32_wait.h"

// The root as the system takes it: UTF-16 on the NT family, the bytes
// themselves on the 95 family.
struct DriveAsking : Errand {
  char* root;
  wchar_t* wide_root;
  void (*ask)(DriveAsking* drive, void* context);
  void* context;
  bool limited;
  DWORD limit_ms;
  DWORD started;   // tick count when the drive's time began
  bool on_thread;  // false: asked on the caller's own thread
};

// Whether the drive's time has run out: an answer that comes later is no
// answer, and the questions after it are not asked.
bool out_of_time(const DriveAsking* drive);

#endif  // VOLSURVEY_PLATFORM_WIN32_ASKING_H_
