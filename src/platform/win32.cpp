// The real program's platform: kernel32, asked exactly as the program
// needs; the drives' own queries are in win32_drives.cpp.  The NT family is
// asked through the wide interfaces and its answers are turned into
// Shift-JIS here; the Windows 95 family is asked in its own bytes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"
#include "platform/win32_text.h"
#include "platform/wide_text.h"
#include "text/sjis.h"

namespace {

const UINT kShiftJisPage = 932;

int to_bytes_932(const wchar_t* units, int n, char* out, int size, bool no_best_fit,
                 bool* used_default, bool* refused) {
  BOOL used = FALSE;
  int m = WideCharToMultiByte(kShiftJisPage, no_best_fit ? WC_NO_BEST_FIT_CHARS : 0, units, n,
                              out, size, nullptr, &used);
  *used_default = used != FALSE;
  *refused = m == 0 && GetLastError() == ERROR_INVALID_FLAGS;
  return m;
}

int to_units_932(const char* bytes, int n, wchar_t* out, int size) {
  return MultiByteToWideChar(kShiftJisPage, 0, bytes, n, out, size);
}

const CodePageCalls kSystem932 = {to_bytes_932, to_units_932};

size_t narrow_char_932(const wchar_t* units, size_t n, char* out) {
  return narrow_exact(kSystem932, units, n, out);
}

size_t widen_932(const char* bytes, size_t n, wchar_t* out) {
  return widen_exact(kSystem932, bytes, n, out);
}

bool ansi_lead_byte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

int ansi_to_units(const char* bytes, int n, wchar_t* out, int size) {
  int m = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, n, out, size);
  if (m == 0 && (GetLastError() == ERROR_INVALID_FLAGS ||
                 GetLastError() == ERROR_INVALID_PARAMETER)) {
    // NT 4.0 knows no MB_ERR_INVALID_CHARS; it drops what it cannot convert.
    m = MultiByteToWideChar(CP_ACP, 0, bytes, n, out, size);
  }
  return m;
}

const AnsiCalls kSystemAnsi = {ansi_lead_byte, ansi_to_units};

// What the NT family gave in UTF-16 for the program's own file: the module
// path, and the program's path as the program builds it (the module's
// folder and the name as stored).  Paths the program builds from them are
// asked for through these, never through their "?" forms.
WideName g_module = {nullptr, 0};
WideName g_program = {nullptr, 0};

// A name the program made from `source`, as the NT family takes it; null
// when memory runs out.
wchar_t* wide_name(const WideName* source, const char* name) {
  return widen_from(kShiftJis, source, name);
}

// Takes `units`, a heap text of `n` units, as the source of names to come.
// Null, for want of memory, leaves the name without one: the "?" form then
// reaches the system as it stands.
void keep_name(WideName* name, const wchar_t* units, size_t n) {
  if (!units) return;
  free(const_cast<wchar_t*>(name->units));
  name->units = units;
  name->n = n;
}

// The runtime splits the command line by its own rules, in UTF-16 on the
// NT family; CommandLineToArgvW would bring in shell32.  Looked up rather
// than imported, so that a runtime without it still starts the program.
void wide_arguments(int* argc, char*** argv) {
  struct StartupInfo {
    int new_mode;  // cppcheck-suppress unusedStructMember ; read by the runtime
  };
  typedef int(__cdecl * WideMainArgs)(int*, wchar_t***, wchar_t***, int, StartupInfo*);
  HMODULE runtime = GetModuleHandleA("msvcrt.dll");
  FARPROC entry = runtime ? GetProcAddress(runtime, "__wgetmainargs") : nullptr;
  if (!entry) return;
  WideMainArgs main_args = reinterpret_cast<WideMainArgs>(reinterpret_cast<void (*)()>(entry));
  int count = 0;
  wchar_t** wide_argv = nullptr;
  wchar_t** wide_env = nullptr;
  StartupInfo info = {0};
  if (main_args(&count, &wide_argv, &wide_env, 0, &info) < 0 || !wide_argv || count < 1) return;
  char** args = static_cast<char**>(calloc(static_cast<size_t>(count) + 1, sizeof(char*)));
  if (!args) return;
  for (int i = 0; i < count; ++i) {
    size_t n = wcslen(wide_argv[i]);
    args[i] = narrow_text(kShiftJis, wide_argv[i], n);
    // Each argument keeps its own UTF-16: the root of a share is asked for
    // as it was typed, whatever its Shift-JIS form shares with another.
    if (!args[i] || !keep_source(args[i], wide_argv[i], n)) {
      // Without memory for them, the runtime's own arguments serve.
      for (int j = 0; j <= i; ++j) free(args[j]);
      free(args);
      forget_sources();
      return;
    }
  }
  *argc = count;
  *argv = args;
}

}  // namespace

const Codec kShiftJis = {narrow_char_932, widen_932};

bool nt_family() {
  static int family = -1;
  if (family < 0) {
    uint32_t id = 0, major = 0, minor = 0;
    family = plat_version(&id, &major, &minor) && id == VER_PLATFORM_WIN32_NT ? 1 : 0;
  }
  return family == 1;
}

void widen_ansi_text(const char* text, wchar_t* out, size_t size) {
  widen_ansi(kSystemAnsi, text, out, size);
}

FARPROC kernel_entry(const char* name) {
  return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

unsigned char single_byte_of(wchar_t character) {
  char out[2];
  if (character == 0 || narrow_char_932(&character, 1, out) != 1) return 0;
  return static_cast<unsigned char>(out[0]);
}

#ifdef __i386__
// The 32-bit runtime's start-up hands the program's unwind tables to
// libgcc's DLL where one is loaded, and asks for that DLL by name to find
// out.  The program is built without exceptions and links no unwinder:
// there is nothing to hand over, and under Wine asking for a DLL that is
// not there searches every folder of the DLL path, about a millisecond of
// every run.  The build points the start-up's call here (CMakeLists.txt).
extern "C" void volsurvey_no_unwind_tables() {}
#endif

void plat_start(int* argc, char*** argv) {
  // First of all: a drive without its medium must fail its query, not hold
  // up the run (and any script around it) with a dialog box.  The mode the
  // process inherited is kept.
  UINT inherited = SetErrorMode(SEM_FAILCRITICALERRORS);
  SetErrorMode(inherited | SEM_FAILCRITICALERRORS);
  if (nt_family()) wide_arguments(argc, argv);
}

bool plat_version(uint32_t* platform_id, uint32_t* major, uint32_t* minor) {
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the size Windows 95 expects");
  OSVERSIONINFOA info;
  memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return false;
  *platform_id = info.dwPlatformId;
  *major = info.dwMajorVersion;
  *minor = info.dwMinorVersion;
  return true;
}

uint32_t plat_current_directory(char* buffer, uint32_t size) {
  if (!nt_family()) return GetCurrentDirectoryA(size, buffer);
  DWORD needed = GetCurrentDirectoryW(0, nullptr);
  wchar_t* wide = needed ? static_cast<wchar_t*>(malloc(needed * sizeof(wchar_t))) : nullptr;
  DWORD length = wide ? GetCurrentDirectoryW(needed, wide) : 0;
  char* path = length && length < needed ? narrow_text(kShiftJis, wide, length) : nullptr;
  uint32_t n = path ? static_cast<uint32_t>(strlen(path)) : 0;
  if (path && n < size) {
    memcpy(buffer, path, n + 1);
    // The root of a share is asked for under the name the system gave.
    keep_source(buffer, wide, length);
  }
  free(wide);
  free(path);
  if (!path) return 0;
  return n < size ? n : n + 1;
}

uint32_t plat_module_file_name(char* buffer, uint32_t size) {
  if (!nt_family()) return GetModuleFileNameA(nullptr, buffer, size);
  // A path of the NT family may be up to 32767 characters long.
  wchar_t* wide = nullptr;
  DWORD length = 0;
  for (DWORD capacity = MAX_PATH + 1; capacity <= 65536 && !wide; capacity *= 2) {
    wide = static_cast<wchar_t*>(malloc(capacity * sizeof(wchar_t)));
    length = wide ? GetModuleFileNameW(nullptr, wide, capacity) : 0;
    if (length == 0) {
      free(wide);
      return 0;
    }
    if (length >= capacity) {
      free(wide);
      wide = nullptr;
    }
  }
  char* path = wide ? narrow_text(kShiftJis, wide, length) : nullptr;
  if (!path) {
    free(wide);
    return 0;
  }
  keep_name(&g_module, wide, length);
  uint32_t n = static_cast<uint32_t>(strlen(path));
  memcpy(buffer, path, n < size ? n + 1 : size);  // cut short, as Windows XP leaves it
  free(path);
  return n < size ? n : size;
}

bool plat_path_lead_byte(unsigned char c) {
  // The 95 family gives paths in the system's ANSI code page, which
  // IsDBCSLeadByte knows; the NT family's reach the program as Shift-JIS.
  return nt_family() ? is_sjis_lead_byte(c) : IsDBCSLeadByte(c) != FALSE;
}

namespace {

// The last component of an ANSI path from GetModuleFileNameA.
const char* ansi_file_name(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
      ++p;
    } else if (*p == '\\') {
      name = p + 1;
    }
  }
  return name;
}

bool copy_name(char* name, size_t size, const char* text) {
  size_t n = strlen(text);
  if (n >= size) return false;
  memcpy(name, text, n + 1);
  return true;
}

// The 95 family: the path is in the ANSI code page.  Where a folder's name
// had no form in it, GetModuleFileNameA gives a look-alike ("Cafe" for
// "Café") or "?", which FindFirstFileA would take for a wildcard and match
// another file by: the name then stays as the module path has it.
bool stored_ansi_name(const char* path, char* name, size_t size) {
  WIN32_FIND_DATAA data;
  HANDLE search = strchr(path, '?') ? INVALID_HANDLE_VALUE : FindFirstFileA(path, &data);
  if (search == INVALID_HANDLE_VALUE) return copy_name(name, size, ansi_file_name(path));
  FindClose(search);
  data.cFileName[sizeof data.cFileName - 1] = '\0';
  return copy_name(name, size, data.cFileName);
}

}  // namespace

bool plat_stored_file_name(const char* path, char* name, size_t size) {
  if (size == 0) return false;
  if (!nt_family()) return stored_ansi_name(path, name, size);
  wchar_t* wide = wide_name(&g_module, path);
  if (!wide) return false;
  const wchar_t* separator = wcsrchr(wide, L'\\');
  size_t folder = separator ? static_cast<size_t>(separator - wide) + 1 : 0;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(wide, &data);
  const wchar_t* stored = wide + folder;  // as the module path has it
  if (search != INVALID_HANDLE_VALUE) {
    FindClose(search);
    data.cFileName[MAX_PATH - 1] = L'\0';
    stored = data.cFileName;
  }
  // The program's path as the program builds it, the module's folder and
  // this name: its configuration file is asked for through it.
  size_t stored_length = wcslen(stored);
  wchar_t* whole = static_cast<wchar_t*>(malloc((folder + stored_length + 1) * sizeof(wchar_t)));
  if (whole) {
    wmemcpy(whole, wide, folder);
    wmemcpy(whole + folder, stored, stored_length + 1);
  }
  keep_name(&g_program, whole, folder + stored_length);
  char* narrow = narrow_text(kShiftJis, stored, stored_length);
  bool fits = narrow && copy_name(name, size, narrow);
  free(narrow);
  free(wide);
  return fits;
}

FILE* plat_open_file(const char* path) {
  if (!nt_family()) return fopen(path, "rb");
  wchar_t* wide = wide_name(&g_program, path);
  FILE* file = wide ? _wfopen(wide, L"rb") : nullptr;
  free(wide);
  return file;
}

char** plat_environment() {
  if (!nt_family()) return _environ;
  // Built once: the program never changes its environment.
  static char** table = nullptr;
  if (table) return table;
  wchar_t* block = GetEnvironmentStringsW();
  if (!block) return nullptr;
  size_t count = 0;
  for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) ++count;
  table = static_cast<char**>(calloc(count + 1, sizeof(char*)));
  size_t i = 0;
  for (const wchar_t* entry = block; table && *entry; entry += wcslen(entry) + 1) {
    char* text = narrow_text(kShiftJis, entry, wcslen(entry));
    if (text) table[i++] = text;
  }
  FreeEnvironmentStringsW(block);
  return table;
}
