#include "platform/win32_wait.h"

#include <windows.h>

#include <cstdlib>

#include "platform/win32_text.h"

namespace {

// What is left of the allowance of the drive now asked about.
struct Allowance {
  bool limited = false;
  DWORD left_ms = 0;
};

Allowance g_allowance;

// The thread that asks the drives' questions, started with the first of
// them: a thread of its own for each question would cost more than the
// questions themselves.  It takes the block in `pending` when `asked` is
// set, and sets `answered` when the block holds the answer.  An asker left
// waiting for a drive is the thread's for good; a new one takes its place.
struct Asker {
  HANDLE thread;
  HANDLE asked;
  HANDLE answered;
  QueryBlock* pending;
};

Asker* g_asker = nullptr;
bool g_no_asker = false;  // the system gave no thread: questions are asked here

DWORD WINAPI asker_thread(void* parameter) {
  Asker* asker = static_cast<Asker*>(parameter);
  while (WaitForSingleObject(asker->asked, INFINITE) == WAIT_OBJECT_0) {
    asker->pending->ask(asker->pending);
    SetEvent(asker->answered);
  }
  return 0;
}

Asker* ready_asker() {
  if (g_asker || g_no_asker) return g_asker;
  Asker* asker = static_cast<Asker*>(calloc(1, sizeof(Asker)));
  if (asker) {
    asker->asked = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    asker->answered = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // The Windows 95 family fails CreateThread without a place for the id.
    DWORD id = 0;
    if (asker->asked && asker->answered) {
      asker->thread = CreateThread(nullptr, 0, asker_thread, asker, 0, &id);
    }
    if (asker->thread) {
      g_asker = asker;
      return asker;
    }
    if (asker->asked) CloseHandle(asker->asked);
    if (asker->answered) CloseHandle(asker->answered);
    free(asker);
  }
  g_no_asker = true;
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

void start_allowance(uint32_t ms) { g_allowance = Allowance{ms != 0, ms}; }

Answer ask_in_time(QueryBlock* block) {
  Asker* asker = g_allowance.limited ? ready_asker() : nullptr;
  if (!asker) {
    // No limit, or no thread to spare: asked here, as any call would be.
    block->ask(block);
    return Answer::kOk;
  }
  asker->pending = block;
  const DWORD start = GetTickCount();
  SetEvent(asker->asked);
  const DWORD waited = WaitForSingleObject(asker->answered, g_allowance.left_ms);
  const DWORD took = GetTickCount() - start;
  if (waited != WAIT_OBJECT_0) {
    // The asker and the block stay with the thread, which is asked nothing
    // more; ending the process does not wait for it.
    cancel_waiting_call(asker->thread);
    g_asker = nullptr;
    g_allowance.left_ms = 0;
    return Answer::kNoAnswer;
  }
  g_allowance.left_ms -= took < g_allowance.left_ms ? took : g_allowance.left_ms;
  return Answer::kOk;
}
