// What the Windows layer's parts share: which family of Windows this is,
// and Shift-JIS (code page 932) against the UTF-16 of the NT family.
#ifndef VOLSURVEY_PLATFORM_WIN32_TEXT_H_
#define VOLSURVEY_PLATFORM_WIN32_TEXT_H_

#include <windows.h>

#include "platform/wide_text.h"

// True on the NT family, which is asked through the wide interfaces; the
// Windows 95 family implements few of them and is asked in Shift-JIS.
bool nt_family();

// Code page 932 by name, never the system's ANSI or OEM code page: the
// program's text is Shift-JIS whatever those are.
extern const Codec kShiftJis;

// The UTF-16 form of a text the Windows 95 family gave in its ANSI code
// page, which need not be 932, into `out` of `size` units (widen_ansi).
void widen_ansi_text(const char* text, wchar_t* out, size_t size);

// An entry of kernel32 looked up at run time, for what not every Windows
// has; null where it is missing.
FARPROC kernel_entry(const char* name);

// The same entry as the function type it is called as.
template <typename Function>
Function kernel_function(const char* name) {
  FARPROC entry = kernel_entry(name);
  return entry ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry)) : nullptr;
}

// The single Shift-JIS byte of a UTF-16 character, or 0 when it has none.
unsigned char single_byte_of(wchar_t character);

#endif  // VOLSURVEY_PLATFORM_WIN32_TEXT_H_
