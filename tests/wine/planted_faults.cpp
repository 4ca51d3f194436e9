// Faults made on purpose, one a run, which the checks of the Windows builds
// must catch (tests/wine/test_checks_catch.py):
//   planted_faults none           prints "done" and ends with 0
//   planted_faults heap-tail N    writes N bytes past the end of a 16-byte
//                                 block, then frees it (Wine's heap checks)
//   planted_faults environment-tail N
//                                 writes N bytes past the end of the block
//                                 GetEnvironmentStringsW gives, the one block
//                                 of Wine's process heap a program holds,
//                                 then hands it back (damage there is still
//                                 the program's)
//   planted_faults stack N        writes N bytes past a 16-byte array on the
//                                 stack, then returns (the stack guard)
//   planted_faults fortify N      copies 16 + N bytes into a 16-byte array
//                                 (a fortified memcpy)
//   planted_faults undefined N    adds N to the largest int (a trap)
// The sizes come from the command line and the writes go through volatile
// pointers, so that the compiler neither refuses the faults nor takes one
// check's fault for another's.
#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void overrun(char* volatile at, size_t n) {
  for (size_t i = 0; i < n; ++i) at[i] = 'x';
}

__attribute__((noinline)) int stack_fault(size_t over) {
  char array[16];
  overrun(array, sizeof array + over);
  return array[0];
}

int fortify_fault(const char* source, size_t over) {
  char array[16];
  memcpy(array, source, sizeof array + over);
  return array[0];
}

}  // namespace

int main(int argc, char** argv) {
  const char* fault = argc > 1 ? argv[1] : "none";
  size_t over = argc > 2 ? strtoul(argv[2], nullptr, 10) : 4;
  if (strcmp(fault, "heap-tail") == 0) {
    char* block = static_cast<char*>(malloc(16));
    overrun(block, 16 + over);
    free(block);
  } else if (strcmp(fault, "environment-tail") == 0) {
    wchar_t* block = GetEnvironmentStringsW();
    size_t units = 0;
    while (block[units]) units += wcslen(block + units) + 1;
    overrun(reinterpret_cast<char*>(block + units + 1), over);
    FreeEnvironmentStringsW(block);
  } else if (strcmp(fault, "stack") == 0) {
    printf("%d\n", stack_fault(over));
  } else if (strcmp(fault, "fortify") == 0) {
    static const char kSource[64] = "a source longer than the array it is copied into";
    printf("%d\n", fortify_fault(kSource, over));
  } else if (strcmp(fault, "undefined") == 0) {
    volatile int largest = INT_MAX;
    printf("%d\n", largest + static_cast<int>(over));
  } else if (strcmp(fault, "none") != 0) {
    fprintf(stderr, "planted_faults: no fault %s\n", fault);
    return 2;
  }
  printf("done\n");
  return 0;
}
