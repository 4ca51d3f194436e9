// Waiting for a drive no longer than it is allowed.
//
// A question to a drive that stopped answering (a file server gone, a
// failing disk) can hold its caller for minutes or for ever.  So a drive's
// questions are asked on a thread other than the program's own, which
// waits for them only as long as the drive's time lasts; several drives
// can be asked at once, each on a thread of its own.
#ifndef VOLSURVEY_PLATFORM_WIN32_WAIT_H_
#define VOLSURVEY_PLATFORM_WIN32_WAIT_H_

#include <windows.h>

struct Asker;

// A piece of work that may wait for the system for ever.  `run` touches
// nothing but the errand and what it owns.
struct Errand {
  void (*run)(Errand* errand);
  Asker* asker;  // the thread it runs on; set by start_errand
  bool settled;  // seen done by settle_errand, its thread free for more
};

// Starts `errand` on a thread of its own.  False when the system gives no
// thread: the caller then runs it itself.
bool start_errand(Errand* errand);

// Waits at most `ms` milliseconds for a started errand to be done, without
// taking it back; once it is, its thread serves the next errand started.
// finish_errand still ends it.  Whether it is done.
bool settle_errand(Errand* errand, DWORD ms);

// Waits for a started errand at most `ms` milliseconds (INFINITE: for
// ever).  True: it is done and the errand is the caller's again.  False:
// it still waits for the system; the system has been asked to cancel the
// call where it can, and the errand now belongs to its thread for good,
// which does not keep the process from ending.
bool finish_errand(Errand* errand, DWORD ms);

// What one thread raises and another waits for, as an auto-reset event: a
// raise that no one waits for yet is kept for the next wait, which takes it.
struct Signal;

// A new signal, not raised; null when the system gives none.  Made by the
// program's own thread.
Signal* new_signal();

// Lets go of a signal no thread waits for or raises any more.
void free_signal(Signal* signal);

void raise_signal(Signal* signal);

// Waits at most `ms` milliseconds (INFINITE: for ever) for the signal to
// be raised, and lowers it.  Whether it was raised.
bool wait_signal(Signal* signal, DWORD ms);

#endif  // VOLSURVEY_PLATFORM_WIN32_WAIT_H_
