// Runs a program on this program's console and, once it has ended, tells
// in what colours the console would draw the next text, as a shell that
// shares the console (cmd.exe) would draw its prompt.
//   console_after PROGRAM [ARGUMENTS...]
// Ctrl+C and Ctrl+Break are left to the program: this one outlives them.
// When the program has ended, one line is written through the console, in
// the attributes the console then has:
//   AFTER-THE-RUN attributes XXXX, before XXXX, exit N
// (hexadecimal; "before" are those the console had before the program
// started).  Under Wine in a terminal the console writes a change of
// colours only with the text that shows it, so the terminal shows this
// line in whatever colours the program left the console in.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

BOOL WINAPI outlive(DWORD) { return TRUE; }

// The command line after this program's own name.
wchar_t* rest_of_command_line() {
  wchar_t* at = GetCommandLineW();
  if (*at == L'"') {
    ++at;
    while (*at && *at != L'"') ++at;
    if (*at) ++at;
  } else {
    while (*at && *at != L' ' && *at != L'\t') ++at;
  }
  while (*at == L' ' || *at == L'\t') ++at;
  return at;
}

}  // namespace

int main() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO before;
  if (!GetConsoleScreenBufferInfo(out, &before)) {
    fprintf(stderr, "console_after: standard output is no console: error %lu\n",
            GetLastError());
    return 2;
  }
  SetConsoleCtrlHandler(outlive, TRUE);
  wchar_t* command = rest_of_command_line();
  // The program gets this one's standard handles: its standard error may
  // be a file.
  STARTUPINFOW start = {};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  start.hStdOutput = out;
  start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!*command ||
      !CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                      &process)) {
    fprintf(stderr, "console_after: cannot start the program: error %lu\n", GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CONSOLE_SCREEN_BUFFER_INFO after;
  GetConsoleScreenBufferInfo(out, &after);
  wchar_t line[128];
  int n = swprintf(line, 128, L"\r\nAFTER-THE-RUN attributes %04x, before %04x, exit %lu\r\n",
                   after.wAttributes, before.wAttributes, code);
  DWORD written = 0;
  WriteConsoleW(out, line, static_cast<DWORD>(n), &written, nullptr);
  return 0;
}
