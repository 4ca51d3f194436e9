// Starts a program as often as asked, each time with an exact UTF-16
// command line and environment, for the fuzzer of the Windows build
// (tests/wine/fuzz_program.py).  A Linux argv reaches a Windows program only
// through UTF-8, which has no form for an unpaired surrogate and which Wine
// quotes by its own rules; CreateProcessW takes any UTF-16.  One process of
// this program serves a whole fuzzing run: a run then costs Wine one process
// start, not a loader's.
//
// Each request on standard input is seven fields: a little-endian 32-bit
// number of milliseconds the run may take, then six texts, each a 32-bit
// count of UTF-16 units followed by the units: the program's path, its
// command line, its environment block (entries ended by NUL, the block by
// one more), the files for its standard output and standard error, and its
// current directory.  Standard input of the run is NUL.  Each answer is one
// line on standard error: "run_wide: exit N" (N in decimal), "run_wide:
// timeout MS" (the run took longer and was ended), or "run_wide: error N"
// (the run could not be started: GetLastError).  Wine writes its own notes on a program (its
// debugging channels) to the standard error of the process that started it,
// this one's: so whatever Wine said of a run comes before the run's answer.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

HANDLE g_in;

bool read_exactly(void* data, DWORD size) {
  char* at = static_cast<char*>(data);
  while (size > 0) {
    DWORD got = 0;
    if (!ReadFile(g_in, at, size, &got, nullptr) || got == 0) return false;
    at += got;
    size -= got;
  }
  return true;
}

// A text of the request as a NUL-ended heap string; null at the end of the
// input.  The environment block keeps its own NULs.
wchar_t* read_text() {
  uint32_t units = 0;
  if (!read_exactly(&units, sizeof units) || units > (1u << 24)) return nullptr;
  wchar_t* text = static_cast<wchar_t*>(calloc(units + 2, sizeof(wchar_t)));
  if (!text) return nullptr;
  if (units && !read_exactly(text, units * sizeof(wchar_t))) {
    free(text);
    return nullptr;
  }
  return text;
}

HANDLE open_for_child(const wchar_t* path, bool write) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(path, write ? GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void answer(const char* what, unsigned long value) {
  fprintf(stderr, "run_wide: %s %lu\n", what, value);
}

void run(DWORD limit_ms, wchar_t* texts[6]) {
  wchar_t* program = texts[0];
  wchar_t* command = texts[1];
  wchar_t* environment = texts[2];
  STARTUPINFOW start = {};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = open_for_child(L"NUL", false);
  start.hStdOutput = open_for_child(texts[3], true);
  start.hStdError = open_for_child(texts[4], true);
  PROCESS_INFORMATION process = {};
  BOOL started = start.hStdInput != INVALID_HANDLE_VALUE &&
                 start.hStdOutput != INVALID_HANDLE_VALUE &&
                 start.hStdError != INVALID_HANDLE_VALUE &&
                 CreateProcessW(program, command, nullptr, nullptr, TRUE,
                                CREATE_UNICODE_ENVIRONMENT, environment, texts[5], &start,
                                &process);
  DWORD error = started ? 0 : GetLastError();
  const HANDLE given[] = {start.hStdInput, start.hStdOutput, start.hStdError};
  for (HANDLE h : given) {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  if (!started) {
    answer("error", error);
    return;
  }
  CloseHandle(process.hThread);
  if (WaitForSingleObject(process.hProcess, limit_ms) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    answer("exit", code);
  } else {
    TerminateProcess(process.hProcess, 255);
    WaitForSingleObject(process.hProcess, 5000);
    answer("timeout", limit_ms);
  }
  CloseHandle(process.hProcess);
}

}  // namespace

int main() {
  g_in = GetStdHandle(STD_INPUT_HANDLE);
  for (;;) {
    uint32_t limit_ms = 0;
    if (!read_exactly(&limit_ms, sizeof limit_ms)) return 0;
    wchar_t* texts[6] = {};
    bool whole = true;
    for (wchar_t*& text : texts) {
      text = whole ? read_text() : nullptr;
      whole = whole && text;
    }
    if (whole) run(limit_ms, texts);
    for (wchar_t* text : texts) free(text);
    if (!whole) return 0;
  }
}
