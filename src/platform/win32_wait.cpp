#include "platform/win32_wait.h"

#include <cstdlib>

#include "platform/win32_text.h"

// A thread that runs errands, one at a time: it takes the errand in
// `errand` when `asked` is set, and sets `done` when it has run it.  A
// thread that finished in time serves the next errand; one left waiting for
// a drive is the errand's for good.
struct Asker {
  HANDLE thread;
  HANDLE asked;
  HANDLE done;
  Errand* errand;
  Asker* next_idle;
};

namespace {

// Threads that finished their errands, ready for more: a thread of its own
// for each drive asked in turn would cost more than its questions.
Asker* g_idle = nullptr;

DWORD WINAPI asker_thread(void* parameter) {
  Asker* asker = static_cast<Asker*>(parameter);
  while (WaitForSingleObject(asker->asked, INFINITE) == WAIT_OBJECT_0) {
    asker->errand->run(asker->errand);
    SetEvent(asker->done);
  }
  return 0;
}

Asker* new_asker() {
  Asker* asker = static_cast<Asker*>(calloc(1, sizeof(Asker)));
  if (!asker) return nullptr;
  asker->asked = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  asker->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  // The Windows 95 family fails CreateThread without a place for the id.
  DWORD id = 0;
  if (asker->asked && asker->done) {
    asker->thread = CreateThread(nullptr, 0, asker_thread, asker, 0, &id);
  }
  if (asker->thread) return asker;
  if (asker->asked) CloseHandle(asker->asked);
  if (asker->done) CloseHandle(asker->done);
  free(asker);
  return nullptr;
}

// Windows Vista and later can end a call that waits for a device or a
// server; the thread then finishes instead of lingering until the process
// is torn down.  Earlier systems have no such entry.
void cancel_waiting_call(HANDLE thread) {
  typedef BOOL(WINAPI * CancelSynchronousIo)(HANDLE);
  FARPROC entry = kernel_entry("CancelSynchronousIo");
  if (entry) {
    reinterpret_cast<CancelSynchronousIo>(reinterpret_cast<void (*)()>(entry))(thread);
  }
}

}  // namespace

bool start_errand(Errand* errand) {
  Asker* asker = g_idle;
  if (asker) {
    g_idle = asker->next_idle;
  } else {
    asker = new_asker();
    if (!asker) return false;
  }
  errand->asker = asker;
  errand->settled = false;
  asker->errand = errand;
  SetEvent(asker->asked);
  return true;
}

bool settle_errand(Errand* errand, DWORD ms) {
  if (errand->settled) return true;
  Asker* asker = errand->asker;
  if (WaitForSingleObject(asker->done, ms) != WAIT_OBJECT_0) return false;
  errand->settled = true;
  asker->next_idle = g_idle;
  g_idle = asker;
  return true;
}

bool finish_errand(Errand* errand, DWORD ms) {
  // Its thread went back to the idle ones when it was seen done.
  if (errand->settled) return true;
  Asker* asker = errand->asker;
  if (WaitForSingleObject(asker->done, ms) != WAIT_OBJECT_0) {
    // The thread is asked nothing more; ending the process does not wait
    // for it.
    cancel_waiting_call(asker->thread);
    return false;
  }
  asker->next_idle = g_idle;
  g_idle = asker;
  return true;
}
