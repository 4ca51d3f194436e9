// Drive roots made from the text that names a drive: "X:\\" from a
// letter, "\\\\server\\share\\" from a share, and the long forms Windows reads
// as their usual ones.
#ifndef VOLSURVEY_DRIVER_ROOTS_H_
#define VOLSURVEY_DRIVER_ROOTS_H_

#include <cstddef>

// A heap root for a drive argument: "X:\\" from its first byte, or
// "\\\\server\\share\\" for a share argument, whatever path follows.  Null when
// the argument names no drive (empty, or a share without server or share
// part).  Ends the process when memory runs out.
char* make_drive_root(const char* argument);

// "X:\\" (or "X:/") with more after it: a path that a volume mounted in a
// folder of drive X: may hold.  A letter, a drive name or a drive root
// alone is none.
bool below_drive_root(const char* argument);

// "\\\\?\\UNC\\server\\share\\..." as the share's root "\\\\server\\share\\", a new heap
// text in the form it was given; null for any other text.
char* long_share_root(const char* text);
char16_t* long_share_root(const char16_t* text);

// 4 for "\\\\?\\C:\\...", which Windows reads as the path "C:\\..."; else 0.
size_t long_path_prefix_length(const char* text);

#endif  // VOLSURVEY_DRIVER_ROOTS_H_
