// The console and the standard streams of the real program.
//
// Text is Shift-JIS.  On a console of the NT family it goes out converted to
// UTF-16 through WriteConsoleW, so that it reads right whatever the
// console's code page; the Windows 95 family implements no WriteConsoleW, and
// its console takes the bytes themselves.  A file or a pipe gets the bytes.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/win32_text.h"
#include "text/sjis.h"

namespace {

// A standard stream, and whether it is a console.  A lead byte whose trail
// byte has not been written yet waits in `held`: converted alone it would
// come out as a wrong character.
struct OutputStream {
  bool checked = false;
  bool is_console = false;
  HANDLE handle = nullptr;
  FILE* file = nullptr;
  char held = 0;
  bool has_held = false;
};

OutputStream g_streams[2];

// Standard output carries UTF-8 (the monitoring answer), not Shift-JIS.
bool g_utf8_output = false;

// Standard output's buffer where it is a character device but no console.
char g_device_buffer[4096];

OutputStream& output_stream(Stream stream) {
  OutputStream& s = g_streams[stream == Stream::kOut ? 0 : 1];
  if (!s.checked) {
    s.checked = true;
    s.file = stream == Stream::kOut ? stdout : stderr;
    s.handle = GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    const bool valid = s.handle != INVALID_HANDLE_VALUE && s.handle != nullptr;
    s.is_console = valid && GetConsoleMode(s.handle, &mode);
    // The runtime leaves a stream to a character device unbuffered, as it
    // would a console: a report to NUL, a serial or a printer port would go
    // out a few bytes a call.  It is given a buffer as a file has, before
    // anything is written to it, and is flushed where a file is.
    if (stream == Stream::kOut && valid && !s.is_console &&
        GetFileType(s.handle) == FILE_TYPE_CHAR) {
      setvbuf(s.file, g_device_buffer, _IOFBF, sizeof g_device_buffer);
    }
  }
  return s;
}

bool put_console(HANDLE console, const char* bytes, size_t n) {
  DWORD written = 0;
  return WriteFile(console, bytes, static_cast<DWORD>(n), &written, nullptr) &&
         written == static_cast<DWORD>(n);
}

// The bytes as they are.  A file or pipe gets them through the runtime,
// which ends a line with CR LF.  A console gets them straight, with the
// same line ends: the runtime would convert what it sends a console by its
// own locale, which is no Shift-JIS.
bool write_bytes(const OutputStream& s, const char* bytes, size_t n) {
  if (!s.is_console) return fwrite(bytes, 1, n, s.file) == n;
  char chunk[1024];
  size_t length = 0;
  bool ok = true;
  for (size_t i = 0; i < n; ++i) {
    if (bytes[i] == '\n') chunk[length++] = '\r';
    chunk[length++] = bytes[i];
    if (length >= sizeof chunk - 1) {
      ok = put_console(s.handle, chunk, length) && ok;
      length = 0;
    }
  }
  return (length == 0 || put_console(s.handle, chunk, length)) && ok;
}

// The bytes of the first `characters` characters of a Shift-JIS text of `n`
// bytes: code page 932 gives one UTF-16 unit for each.
size_t bytes_of_characters(const char* bytes, size_t n, size_t characters) {
  size_t i = 0;
  for (; characters > 0 && i < n; --characters) {
    i += is_sjis_lead_byte(static_cast<unsigned char>(bytes[i])) && i + 1 < n ? 2 : 1;
  }
  return i;
}

// Whole characters to a console of the NT family.  A console may take part
// of them: it is given the rest.  Should it refuse them, the bytes of what
// it did not take go out instead, so that no text is lost or doubled.
bool write_wide(const OutputStream& s, const char* bytes, size_t n) {
  wchar_t wide[512];
  int count = MultiByteToWideChar(932, 0, bytes, static_cast<int>(n), wide, 512);
  if (count <= 0) return write_bytes(s, bytes, n);
  DWORD done = 0;
  while (done < static_cast<DWORD>(count)) {
    DWORD written = 0;
    if (!WriteConsoleW(s.handle, wide + done, static_cast<DWORD>(count) - done, &written,
                       nullptr) ||
        written == 0) {
      size_t sent = bytes_of_characters(bytes, n, done);
      return write_bytes(s, bytes + sent, n - sent);
    }
    done += written;
  }
  return true;
}

// Whole characters to a console of the NT family, as write_wide.  A lead
// byte that no trail byte follows goes out on its own: converted together
// with the byte after it, it would take that byte (a blank, a line end)
// into one character with it.
bool write_characters(const OutputStream& s, const char* bytes, size_t n) {
  bool ok = true;
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!is_sjis_lead_byte(static_cast<unsigned char>(bytes[i]))) continue;
    if (i + 1 < n && is_sjis_trail_byte(static_cast<unsigned char>(bytes[i + 1]))) {
      ++i;
      continue;
    }
    if (i > start) ok = write_wide(s, bytes + start, i - start) && ok;
    ok = write_wide(s, bytes + i, 1) && ok;
    start = i + 1;
  }
  return (start == n || write_wide(s, bytes + start, n - start)) && ok;
}

bool write_console(OutputStream& s, const char* bytes, size_t n) {
  char chunk[512];
  size_t length = 0;
  bool ok = true;
  if (s.has_held) {
    chunk[length++] = s.held;
    s.has_held = false;
  }
  for (;;) {
    while (length < sizeof chunk && n > 0) {
      chunk[length++] = *bytes++;
      --n;
    }
    size_t whole = whole_characters(chunk, length);
    if (whole > 0) ok = write_characters(s, chunk, whole) && ok;
    // At most one byte is left: a lead byte whose trail byte comes later.
    length = length - whole;
    if (length) chunk[0] = chunk[whole];
    if (n == 0) break;
  }
  if (length) {
    s.held = chunk[0];
    s.has_held = true;
  }
  return ok;
}

// UTF-8 to a console of the NT family, in whole characters as written.
bool write_utf8_console(const OutputStream& s, const char* bytes, size_t n) {
  const int count = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(n), nullptr, 0);
  wchar_t* wide = count > 0 ? static_cast<wchar_t*>(malloc(count * sizeof(wchar_t))) : nullptr;
  bool ok = wide && MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(n), wide, count) == count;
  DWORD written = 0;
  for (int done = 0; ok && done < count; done += static_cast<int>(written)) {
    ok = WriteConsoleW(s.handle, wide + done, static_cast<DWORD>(count - done), &written, nullptr) &&
         written > 0;
  }
  free(wide);
  return ok || write_bytes(s, bytes, n);
}

}  // namespace

bool plat_write(Stream stream, const char* bytes, size_t n) {
  OutputStream& s = output_stream(stream);
  if (s.is_console && nt_family()) {
    if (stream == Stream::kOut && g_utf8_output) return write_utf8_console(s, bytes, n);
    return write_console(s, bytes, n);
  }
  return write_bytes(s, bytes, n);
}

void plat_plugin_output() {
  g_utf8_output = true;
  // Line ends as written: a line feed alone, which every agent reads.
  fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool plat_flush(Stream stream) {
  OutputStream& s = output_stream(stream);
  bool ok = true;
  if (s.has_held) {
    // A lead byte without its trail byte: show what the code page makes of
    // it rather than lose it.
    s.has_held = false;
    ok = write_wide(s, &s.held, 1);
  }
  return fflush(s.file) == 0 && !ferror(s.file) && ok;
}

bool plat_console_screen_info(int32_t* buffer_rows, int32_t* window_top,
                              int32_t* window_bottom) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return false;
  *buffer_rows = info.dwSize.Y;
  *window_top = info.srWindow.Top;
  *window_bottom = info.srWindow.Bottom;
  return true;
}

void plat_flush_console_input() { FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE)); }

bool plat_read_console_input(bool* is_key_event, unsigned char* character) {
  INPUT_RECORD record;
  DWORD count = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  // The NT family gives the key's UTF-16 character: ﾀ and ﾁ are the same
  // keys on a console of any code page.
  BOOL ok = nt_family() ? ReadConsoleInputW(input, &record, 1, &count)
                        : ReadConsoleInputA(input, &record, 1, &count);
  if (!ok || count != 1) return false;
  *is_key_event = record.EventType == KEY_EVENT;
  if (!*is_key_event) {
    *character = 0;
  } else if (nt_family()) {
    *character = single_byte_of(record.Event.KeyEvent.uChar.UnicodeChar);
  } else {
    *character = static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
  }
  return true;
}

namespace {

// The console's own attributes, once the warning colour has been used.
// Ctrl+C, Ctrl+Break and the console's closing call the break handler on a
// thread of its own, at any moment of the main thread's work: the lock
// keeps the two from changing the colours at once.  Once the handler has
// run, nothing is drawn in colour any more, whatever the main thread was
// about to do before the process ends.
CRITICAL_SECTION g_colour_lock;
WORD g_own_attributes = 0;
bool g_own_known = false;
// Under the lock: the console may show the warning colour.  Set before the
// attribute is, so that a break between the two still gives the colours
// back.
bool g_coloured = false;
// Set by the handler, under the lock, once the colours are back.
volatile bool g_broken = false;

// Called with the lock held.
void restore_colours_locked() {
  if (g_coloured) {
    g_coloured = false;
    SetConsoleTextAttribute(output_stream(Stream::kOut).handle, g_own_attributes);
  }
}

void restore_colours() {
  // After a break the colours are back already, and the lock may belong to
  // a thread the system has ended on its way out: it is not waited for.
  if (g_broken) return;
  EnterCriticalSection(&g_colour_lock);
  restore_colours_locked();
  LeaveCriticalSection(&g_colour_lock);
}

// Ctrl+C, Ctrl+Break and the closing of the console end the program by the
// system's own handler, which runs no exit code: the colours are given back
// first.
BOOL WINAPI restore_colours_on_break(DWORD) {
  EnterCriticalSection(&g_colour_lock);
  restore_colours_locked();
  g_broken = true;
  LeaveCriticalSection(&g_colour_lock);
  return FALSE;
}

// On the console's own background: past a critical level bright red,
// bright yellow where that background has red in it; past a warning level
// bright yellow, bright blue where the background has red or green in it.
WORD marked_attributes(TextColour colour, WORD own) {
  const WORD background = own & 0xF0;
  const WORD red = FOREGROUND_RED | FOREGROUND_INTENSITY;
  const WORD yellow = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_INTENSITY;
  const WORD blue = FOREGROUND_BLUE | FOREGROUND_INTENSITY;
  if (colour == TextColour::kCritical) return background | ((background & BACKGROUND_RED) ? yellow : red);
  return background | ((background & (BACKGROUND_RED | BACKGROUND_GREEN)) ? blue : yellow);
}

}  // namespace

void plat_text_colour(TextColour colour) {
  OutputStream& s = output_stream(Stream::kOut);
  if (!s.is_console) return;
  if (colour == TextColour::kNormal) {
    // Nothing was coloured before the handler and the lock are there.
    if (g_own_known) restore_colours();
    return;
  }
  if (!g_own_known) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(s.handle, &info)) return;
    g_own_attributes = info.wAttributes;
    g_own_known = true;
    InitializeCriticalSection(&g_colour_lock);
    SetConsoleCtrlHandler(restore_colours_on_break, TRUE);
    atexit(restore_colours);
  }
  EnterCriticalSection(&g_colour_lock);
  if (!g_broken) {
    g_coloured = true;
    SetConsoleTextAttribute(s.handle, marked_attributes(colour, g_own_attributes));
  }
  LeaveCriticalSection(&g_colour_lock);
}

uint32_t plat_tick_count() { return GetTickCount(); }

void plat_sleep(uint32_t ms) { Sleep(ms); }
