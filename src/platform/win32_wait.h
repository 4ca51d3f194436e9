// Waiting for a drive no longer than it is allowed.
//
// A query of a drive that stopped answering (a file server gone, a failing
// disk) can hold its caller for minutes or for ever.  So the queries run on
// a thread other than the program's own, which waits for each only as long
// as the drive's time allowance lasts; the program's own logic stays on one
// thread.
#ifndef VOLSURVEY_PLATFORM_WIN32_WAIT_H_
#define VOLSURVEY_PLATFORM_WIN32_WAIT_H_

#include <cstdint>

#include "platform/platform.h"

// One query and everything it reads and writes.  `ask` asks the system and
// writes its answer into the block, and touches nothing else: no other
// memory of the program, no standard stream.  A block whose query did not
// answer in time is left to its thread for good, never freed or read again.
struct QueryBlock {
  void (*ask)(QueryBlock* block);
};

// Starts a drive's allowance: `ms` milliseconds of waiting for its queries
// in all; 0 waits as long as the system does.
void start_allowance(uint32_t ms);

// Asks block->ask and waits for it within what is left of the allowance.
// kOk: it finished, and the block is the caller's again.  kNoAnswer: the
// allowance ran out first; the system has been asked to cancel the call
// where it can, and the block now belongs to the query's thread.
Answer ask_in_time(QueryBlock* block);

#endif  // VOLSURVEY_PLATFORM_WIN32_WAIT_H_
