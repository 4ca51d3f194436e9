// The queries of a drive, each asked on a thread of its own within the
// drive's time allowance (win32_wait.h).  The NT family is asked through the
// wide interfaces, with the root as the user wrote it; the Windows 95 family
// is asked in its own bytes.
//
// Each query copies what it needs into its block before it is asked, and
// its answer is read from the block only once it has finished in time.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"
#include "platform/wide_text.h"
#include "platform/win32_text.h"
#include "platform/win32_wait.h"
#include "text/sjis.h"

namespace {

// The text the drive roots now asked about were made from.
const char* g_root_source = nullptr;

// A query of one drive root as the system takes it: UTF-16 on the NT
// family, the bytes themselves on the 95 family.  Both belong to the block,
// and so does `ok`, whether the system granted the request.
struct RootQuery : QueryBlock {
  char* root;
  wchar_t* wide_root;
  BOOL ok;
};

// A new block of type Block for `root`, its root copied in; null when
// memory runs out.
template <typename Block>
Block* new_query(const char* root, void (*question)(QueryBlock*)) {
  Block* block = static_cast<Block*>(calloc(1, sizeof(Block)));
  if (!block) return nullptr;
  block->ask = question;
  if (nt_family()) {
    block->wide_root = widen_from(kShiftJis, source_of(g_root_source), root);
  } else {
    const size_t size = strlen(root) + 1;
    block->root = static_cast<char*>(malloc(size));
    if (block->root) memcpy(block->root, root, size);
  }
  if (!block->root && !block->wide_root) {
    free(block);
    return nullptr;
  }
  return block;
}

// Asks the block's query in time: kOk when the system answered and granted
// it, kFailed when it refused (or there was no memory to ask).  A block
// whose query did not answer is the thread's now; any other is the
// caller's to read, then to give to release().
Answer ask(RootQuery* block) {
  if (!block) return Answer::kFailed;
  if (ask_in_time(block) == Answer::kNoAnswer) return Answer::kNoAnswer;
  return block->ok ? Answer::kOk : Answer::kFailed;
}

// Frees a block once its answer has been read, unless it is left to the
// thread of a query that did not answer.
void release(RootQuery* block, Answer answer) {
  if (!block || answer == Answer::kNoAnswer) return;
  free(block->root);
  free(block->wide_root);
  free(block);
}

// A Shift-JIS text into `out` of `size` bytes, cut after its last whole
// character that fits.
void copy_whole_characters(char* out, size_t size, const char* text) {
  if (size == 0) return;
  size_t length = strlen(text);
  size_t n = whole_characters(text, length < size ? length : size - 1);
  memcpy(out, text, n);
  out[n] = '\0';
}

// The Shift-JIS form of a NUL-terminated UTF-16 text into `out`.
void narrow_into(char* out, size_t size, const wchar_t* text) {
  char* narrow = narrow_text(kShiftJis, text, wcslen(text));
  copy_whole_characters(out, size, narrow ? narrow : "");
  free(narrow);
}

struct DriveTypeQuery : RootQuery {
  UINT type;
};

void ask_drive_type(QueryBlock* query) {
  DriveTypeQuery* q = static_cast<DriveTypeQuery*>(query);
  q->type = q->wide_root ? GetDriveTypeW(q->wide_root) : GetDriveTypeA(q->root);
  q->ok = TRUE;
}

struct VolumeQuery : RootQuery {
  DWORD serial, component, flags;
  wchar_t wide_label[MAX_PATH + 1], wide_fs[MAX_PATH + 1];
  char label[MAX_PATH + 1], fs[MAX_PATH + 1];
};

void ask_volume(QueryBlock* query) {
  VolumeQuery* q = static_cast<VolumeQuery*>(query);
  q->ok = q->wide_root ? GetVolumeInformationW(q->wide_root, q->wide_label, MAX_PATH + 1,
                                               &q->serial, &q->component, &q->flags,
                                               q->wide_fs, MAX_PATH + 1)
                       : GetVolumeInformationA(q->root, q->label, MAX_PATH + 1, &q->serial,
                                               &q->component, &q->flags, q->fs, MAX_PATH + 1);
}

struct FreeSpaceQuery : RootQuery {
  DWORD sectors_per_cluster, bytes_per_sector, free_clusters, total_clusters;
};

void ask_free_space(QueryBlock* query) {
  FreeSpaceQuery* q = static_cast<FreeSpaceQuery*>(query);
  q->ok = q->wide_root ? GetDiskFreeSpaceW(q->wide_root, &q->sectors_per_cluster,
                                           &q->bytes_per_sector, &q->free_clusters,
                                           &q->total_clusters)
                       : GetDiskFreeSpaceA(q->root, &q->sectors_per_cluster,
                                           &q->bytes_per_sector, &q->free_clusters,
                                           &q->total_clusters);
}

struct FreeSpaceExQuery : RootQuery {
  FARPROC entry;
  ULARGE_INTEGER caller_free, total, total_free;
};

void ask_free_space_ex(QueryBlock* query) {
  typedef BOOL(WINAPI * QueryA)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  typedef BOOL(WINAPI * QueryW)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  FreeSpaceExQuery* q = static_cast<FreeSpaceExQuery*>(query);
  void (*entry)() = reinterpret_cast<void (*)()>(q->entry);
  q->ok = q->wide_root ? reinterpret_cast<QueryW>(entry)(q->wide_root, &q->caller_free,
                                                         &q->total, &q->total_free)
                       : reinterpret_cast<QueryA>(entry)(q->root, &q->caller_free, &q->total,
                                                         &q->total_free);
}

#ifndef _WIN64
struct DiocRegisters {
  DWORD reg_ebx, reg_edx, reg_ecx, reg_eax, reg_edi, reg_esi, reg_flags;
};

struct ExtGetDskFreSpcStruc {
  WORD size;
  WORD level;
  DWORD sectors_per_cluster;
  DWORD bytes_per_sector;
  DWORD available_clusters;
  DWORD total_clusters;
  DWORD available_phys_sectors;
  DWORD total_phys_sectors;
  DWORD available_allocation_units;
  DWORD total_allocation_units;
  DWORD reserved[2];
};

static_assert(sizeof(DiocRegisters) == 28, "DIOC_REGISTERS");
static_assert(sizeof(ExtGetDskFreSpcStruc) == 44, "ExtGetDskFreSpcStruc");

// The register block carries the addresses of the root and the result, so
// both live in the block, as long as the request may run.
struct DeviceQuery : RootQuery {
  DiocRegisters regs;
  ExtGetDskFreSpcStruc result;
};

void ask_device(QueryBlock* query) {
  const DWORD kDosDriveInfo = 6;  // VWIN32_DIOC_DOS_DRIVEINFO
  const DWORD kCarry = 1;
  DeviceQuery* q = static_cast<DeviceQuery*>(query);
  q->result.level = 0;
  q->regs = DiocRegisters{0,
                          static_cast<DWORD>(reinterpret_cast<uintptr_t>(q->root)),
                          sizeof q->result,
                          0x7303,
                          static_cast<DWORD>(reinterpret_cast<uintptr_t>(&q->result)),
                          0,
                          kCarry};
  HANDLE device = CreateFileA("\\\\.\\vwin32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
  if (device == INVALID_HANDLE_VALUE) return;
  DWORD returned = 0;
  q->ok = DeviceIoControl(device, kDosDriveInfo, &q->regs, sizeof q->regs, &q->regs,
                          sizeof q->regs, &returned, nullptr) &&
          !(q->regs.reg_flags & kCarry);
  CloseHandle(device);
}
#endif

}  // namespace

void plat_root_source(const char* source) { g_root_source = source; }

void plat_drive_time_limit(uint32_t ms) { start_allowance(ms); }

Answer plat_drive_type(const char* root, int* type) {
  DriveTypeQuery* q = new_query<DriveTypeQuery>(root, ask_drive_type);
  Answer answer = ask(q);
  if (answer == Answer::kNoAnswer) return answer;
  // Without memory for the question the root counts as none.
  *type = answer == Answer::kOk ? static_cast<int>(q->type) : DRIVE_NO_ROOT_DIR;
  release(q, answer);
  return Answer::kOk;
}

Answer plat_volume_information(const char* root, char* label, uint32_t* serial,
                               uint32_t* max_component, uint32_t* flags,
                               char* fs_name, uint32_t size) {
  VolumeQuery* q = new_query<VolumeQuery>(root, ask_volume);
  Answer answer = ask(q);
  if (answer == Answer::kOk) {
    // The 95 family names them in its ANSI code page, which need not be
    // Shift-JIS: they are shown from their UTF-16, as the NT family's are.
    if (!q->wide_root) {
      q->label[MAX_PATH] = q->fs[MAX_PATH] = '\0';
      widen_ansi_text(q->label, q->wide_label, MAX_PATH + 1);
      widen_ansi_text(q->fs, q->wide_fs, MAX_PATH + 1);
    }
    narrow_into(label, size, q->wide_label);
    narrow_into(fs_name, size, q->wide_fs);
    *serial = q->serial;
    *max_component = q->component;
    *flags = q->flags;
  }
  release(q, answer);
  return answer;
}

Answer plat_disk_free_space(const char* root, uint32_t* sectors_per_cluster,
                            uint32_t* bytes_per_sector, uint32_t* free_clusters,
                            uint32_t* total_clusters) {
  FreeSpaceQuery* q = new_query<FreeSpaceQuery>(root, ask_free_space);
  Answer answer = ask(q);
  if (answer == Answer::kOk) {
    *sectors_per_cluster = q->sectors_per_cluster;
    *bytes_per_sector = q->bytes_per_sector;
    *free_clusters = q->free_clusters;
    *total_clusters = q->total_clusters;
  }
  release(q, answer);
  return answer;
}

FreeSpaceEx plat_disk_free_space_ex(const char* root, uint64_t* caller_free,
                                    uint64_t* total, uint64_t* total_free) {
  // Windows 95 before OSR2 has no such entry; a static import would keep
  // the program from starting there at all.
  FARPROC entry = kernel_entry(nt_family() ? "GetDiskFreeSpaceExW" : "GetDiskFreeSpaceExA");
  if (!entry) return FreeSpaceEx::kMissing;
  FreeSpaceExQuery* q = new_query<FreeSpaceExQuery>(root, ask_free_space_ex);
  if (q) q->entry = entry;
  Answer answer = ask(q);
  if (answer == Answer::kOk) {
    *caller_free = q->caller_free.QuadPart;
    *total = q->total.QuadPart;
    *total_free = q->total_free.QuadPart;
  }
  release(q, answer);
  if (answer == Answer::kNoAnswer) return FreeSpaceEx::kNoAnswer;
  return answer == Answer::kOk ? FreeSpaceEx::kOk : FreeSpaceEx::kFailed;
}

// The outputs are written only by the 32-bit build.
// NOLINTBEGIN(readability-non-const-parameter)
Answer plat_ext_free_space(const char* root, uint32_t* sectors_per_cluster,
                           uint32_t* bytes_per_sector) {
  // NOLINTEND(readability-non-const-parameter)
#ifdef _WIN64
  // The VWIN32 device exists only on the Windows 95 family, which runs no
  // 64-bit programs, and its register block carries 32-bit addresses.
  (void)root;
  (void)sectors_per_cluster;
  (void)bytes_per_sector;
  return Answer::kFailed;
#else
  DeviceQuery* q = new_query<DeviceQuery>(root, ask_device);
  // The request names the root in the 95 family's own bytes.
  if (q && !q->root) {
    release(q, Answer::kFailed);
    return Answer::kFailed;
  }
  Answer answer = ask(q);
  if (answer == Answer::kOk) {
    *sectors_per_cluster = q->result.sectors_per_cluster;
    *bytes_per_sector = q->result.bytes_per_sector;
  }
  release(q, answer);
  return answer;
#endif
}
