// What Explorer's Properties page would read of a program: its version
// resource, through the version API, and its manifest.  Prints one
// "key=value" line each, in UTF-8, for the package checks to compare.
//   version_probe PROGRAM
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void print(const char* key, const std::wstring& value) {
  int n = WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(value.size()), nullptr,
                              0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(value.size()), &bytes[0], n,
                      nullptr, nullptr);
  printf("%s=%s\n", key, bytes.c_str());
}

std::wstring version_text(DWORD high, DWORD low) {
  wchar_t text[64];
  swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: version_probe PROGRAM\n");
    return 2;
  }
  _setmode(_fileno(stdout), _O_BINARY);
  wchar_t path[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, argv[1], -1, path, MAX_PATH);

  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::string block(size, '\0');
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, &block[0])) {
    fprintf(stderr, "version_probe: no version resource\n");
    return 1;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(&block[0], L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    print("FILEVERSION", version_text(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
    print("PRODUCTVERSION", version_text(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
  }
  WORD* translation = nullptr;
  if (VerQueryValueW(&block[0], L"\\VarFileInfo\\Translation",
                     reinterpret_cast<void**>(&translation), &length) && length >= 4) {
    wchar_t text[16];
    swprintf(text, 16, L"%04x%04x", translation[0], translation[1]);
    print("Translation", text);
    const char* const keys[] = {"FileDescription", "ProductName", "FileVersion",
                                "ProductVersion", "OriginalFilename", "InternalName",
                                "LegalCopyright"};
    for (const char* key : keys) {
      wchar_t query[128];
      swprintf(query, 128, L"\\StringFileInfo\\%ls\\%hs", text, key);
      wchar_t* value = nullptr;
      if (VerQueryValueW(&block[0], query, reinterpret_cast<void**>(&value), &length)) {
        print(key, value);
      }
    }
  }

  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC manifest = module ? FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))
                          : nullptr;
  if (manifest) {
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
    std::string xml(text, SizeofResource(module, manifest));
    for (char& c : xml) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    printf("manifest=%s\n", xml.c_str());
  }
  return 0;
}
