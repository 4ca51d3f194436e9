#include "platform/win32_wait.h"

#include <cstdlib>

#include "platform/platform.h"
#include "platform/win32_text.h"

// A thread that runs errands, one at a time: it takes the errand in
// `errand` when `asked` is raised, and raises `done` when it has run it.  A
// thread that finished in time serves the next errand; one left waiting for
// a drive is the errand's for good.
struct Asker {
  HANDLE thread;
  Signal* asked;
  Signal* done;
  Errand* errand;
  Asker* next_idle;
};

struct Signal {
  HANDLE event;                // before Windows Vista: an auto-reset event
  CONDITION_VARIABLE changed;  // Vista and later; a zeroed one is ready
  bool raised;                 // Vista and later; guarded by g_conditions.lock
};

namespace {

typedef BOOL(WINAPI* SleepCondition)(PCONDITION_VARIABLE, PCRITICAL_SECTION, DWORD);
typedef VOID(WINAPI* WakeCondition)(PCONDITION_VARIABLE);

// An event is the system's object: each raise and each wait is a call
// into the system, and under Wine a request to its server, which took a
// run of healthy drives longer than their own questions did.  Vista's
// condition variables wait within the process until a thread must sleep.
struct Conditions {
  bool prepared;
  CRITICAL_SECTION lock;  // guards every signal's `raised`
  SleepCondition sleep;   // null: signals are events
  WakeCondition wake;
};

Conditions g_conditions;

// By the program's own thread, before any other starts.  The version
// decides, not the entries alone: Wine posing as an older Windows still
// has them, and such a run is served as that Windows would be.
void prepare_conditions() {
  if (g_conditions.prepared) return;
  g_conditions.prepared = true;
  uint32_t id = 0, major = 0, minor = 0;
  if (!nt_family() || !plat_version(&id, &major, &minor) || major < 6) return;
  SleepCondition sleep = kernel_function<SleepCondition>("SleepConditionVariableCS");
  WakeCondition wake = kernel_function<WakeCondition>("WakeConditionVariable");
  if (!sleep || !wake) return;
  InitializeCriticalSection(&g_conditions.lock);
  g_conditions.sleep = sleep;
  g_conditions.wake = wake;
}

}  // namespace

Signal* new_signal() {
  prepare_conditions();
  Signal* signal = static_cast<Signal*>(calloc(1, sizeof(Signal)));
  if (!signal || g_conditions.sleep) return signal;
  signal->event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (signal->event) return signal;
  free(signal);
  return nullptr;
}

void free_signal(Signal* signal) {
  if (!signal) return;
  if (signal->event) CloseHandle(signal->event);
  free(signal);
}

void raise_signal(Signal* signal) {
  if (!g_conditions.sleep) {
    SetEvent(signal->event);
    return;
  }
  EnterCriticalSection(&g_conditions.lock);
  signal->raised = true;
  LeaveCriticalSection(&g_conditions.lock);
  g_conditions.wake(&signal->changed);
}

bool wait_signal(Signal* signal, DWORD ms) {
  if (!g_conditions.sleep) return WaitForSingleObject(signal->event, ms) == WAIT_OBJECT_0;
  const DWORD began = GetTickCount();
  EnterCriticalSection(&g_conditions.lock);
  while (!signal->raised) {
    DWORD left = INFINITE;
    if (ms != INFINITE) {
      const DWORD spent = GetTickCount() - began;
      if (spent >= ms) break;
      left = ms - spent;
    }
    // A wake without a raise sleeps again for what is left; the time
    // running out ends the wait, as it ends an event's.
    if (!g_conditions.sleep(&signal->changed, &g_conditions.lock, left)) break;
  }
  const bool raised = signal->raised;
  signal->raised = false;
  LeaveCriticalSection(&g_conditions.lock);
  return raised;
}

namespace {

// Threads that finished their errands, ready for more: a thread of its own
// for each drive asked in turn would cost more than its questions.
Asker* g_idle = nullptr;

DWORD WINAPI asker_thread(void* parameter) {
  Asker* asker = static_cast<Asker*>(parameter);
  while (wait_signal(asker->asked, INFINITE)) {
    asker->errand->run(asker->errand);
    raise_signal(asker->done);
  }
  return 0;
}

Asker* new_asker() {
  Asker* asker = static_cast<Asker*>(calloc(1, sizeof(Asker)));
  if (!asker) return nullptr;
  asker->asked = new_signal();
  asker->done = new_signal();
  // The Windows 95 family fails CreateThread without a place for the id.
  DWORD id = 0;
  if (asker->asked && asker->done) {
    asker->thread = CreateThread(nullptr, 0, asker_thread, asker, 0, &id);
  }
  if (asker->thread) return asker;
  free_signal(asker->asked);
  free_signal(asker->done);
  free(asker);
  return nullptr;
}

// Windows Vista and later can end a call that waits for a device or a
// server; the thread then finishes instead of lingering until the process
// is torn down.  Earlier systems have no such entry.
void cancel_waiting_call(HANDLE thread) {
  typedef BOOL(WINAPI * CancelSynchronousIo)(HANDLE);
  CancelSynchronousIo cancel = kernel_function<CancelSynchronousIo>("CancelSynchronousIo");
  if (cancel) cancel(thread);
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
  raise_signal(asker->asked);
  return true;
}

bool settle_errand(Errand* errand, DWORD ms) {
  if (errand->settled) return true;
  Asker* asker = errand->asker;
  if (!wait_signal(asker->done, ms)) return false;
  errand->settled = true;
  asker->next_idle = g_idle;
  g_idle = asker;
  return true;
}

bool finish_errand(Errand* errand, DWORD ms) {
  // Its thread went back to the idle ones when it was seen done.
  if (errand->settled) return true;
  Asker* asker = errand->asker;
  if (!wait_signal(asker->done, ms)) {
    // The thread is asked nothing more; ending the process does not wait
    // for it.
    cancel_waiting_call(asker->thread);
    return false;
  }
  asker->next_idle = g_idle;
  g_idle = asker;
  return true;
}
