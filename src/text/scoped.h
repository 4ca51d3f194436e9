// Releases a heap block or closes a file at the end of a scope, also when
// the scope is left by the fuzzing harness's thrown exit.
#ifndef VOLSURVEY_TEXT_SCOPED_H_
#define VOLSURVEY_TEXT_SCOPED_H_

#include <cstdio>
#include <cstdlib>

class ScopedFree {
 public:
  explicit ScopedFree(void* block) : block_(block) {}
  ~ScopedFree() { free(block_); }
  ScopedFree(const ScopedFree&) = delete;
  ScopedFree& operator=(const ScopedFree&) = delete;

 private:
  void* block_;
};

class ScopedFile {
 public:
  explicit ScopedFile(FILE* file) : file_(file) {}
  ~ScopedFile() { close(); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  void close() {
    if (file_) fclose(file_);
    file_ = nullptr;
  }

 private:
  FILE* file_;
};

#endif  // VOLSURVEY_TEXT_SCOPED_H_
