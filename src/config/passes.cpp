#include "config/passes.h"

#include <cstdlib>
#include <cstring>

#include "config/env_refs.h"
#include "config/line_reader.h"
#include "config/program_path.h"
#include "console/output.h"
#include "driver/args.h"
#include "driver/fatal.h"
#include "driver/options.h"
#include "platform/platform.h"
#include "text/scoped.h"
#include "text/strings.h"

namespace {

enum class Pass { kSwitch, kApply, kPrint };

struct PassState {
  Pass pass;
  unsigned char switch_char;      // passes 2 and 3: the current value
  unsigned char* switch_setting;  // pass 1: where the new value goes
  bool printed_any = false;       // pass 3: a line was listed already
};

// An empty line is never one, whatever the switch character.
bool is_option_line(const char* line, unsigned char switch_char) {
  return line[0] != '\0' && starts_with_switch(line, switch_char);
}

void act_on_line(char* line, PassState* state) {
  switch (state->pass) {
    case Pass::kSwitch:
      take_switch_line(line, state->switch_setting);
      return;
    case Pass::kApply:
      if (is_option_line(line, state->switch_char)) apply_options(line, true);
      return;
    case Pass::kPrint:
      if (!is_option_line(line, state->switch_char)) return;
      // A line cut inside a character shows the lead byte left as "?",
      // which takes neither the blank nor the line end after it along.
      copy_showable(line, line, strlen(line));
      out_printf(whitespace_kind(line) ? "%s\"%s\"" : "%s%s", state->printed_any ? " " : "",
                 line);
      state->printed_any = true;
      return;
  }
}

// Reads the whole file through the line reader, expands each line and acts
// on it; returns kEndOfFile, kBinaryData or kMixedLineEnds, with the number
// of the line at fault in *line_number.
int read_all_lines(FILE* file, PassState* state, unsigned long* line_number) {
  // Pass 3 has one byte less for names: a name of 1022 bytes is listed
  // unexpanded although passes 1 and 2 expanded it.
  const size_t name_size = state->pass == Pass::kPrint ? 1024 : 1025;
  char* line = allocate(kConfigLineSize);
  ScopedFree line_holder(line);
  char* name = allocate(name_size);
  ScopedFree name_holder(name);

  LineEnd line_end = kLineEndNone;
  LineEnd expected = kLineEndNone;
  int result;
  *line_number = 0;
  for (;;) {
    ++*line_number;
    result = read_config_line(line, kConfigLineSize, file, &line_end);
    if (result != kLineRead) break;
    // A last line without a line end keeps the kind of the one before.
    if (expected != kLineEndNone && line_end != kLineEndNone && line_end != expected) {
      result = kMixedLineEnds;
      break;
    }
    if (line_end != kLineEndNone) expected = line_end;
    if (line[0] == '\0') continue;
    expand_env_refs(line, kConfigLineSize, name, name_size - 2);
    act_on_line(line, state);
  }
  return result;
}

void run_pass(const char* path, PassState* state) {
  FILE* file = plat_open_file(path);
  if (!file) {
    if (state->pass == Pass::kPrint) out_puts("設定ファイルが存在しません。\n");
    return;
  }
  ScopedFile file_holder(file);
  unsigned long line_number = 0;
  int result = read_all_lines(file, state, &line_number);
  if (state->pass == Pass::kPrint) out_puts("\n");
  file_holder.close();
  if (result == kBinaryData) {
    fault_words("bad configuration file");
    fatal_error("設定ファイル\"%s\"が異常です。%lu行目にバイナリ・データを検出しました。", path,
                line_number);
  }
  if (result == kMixedLineEnds) {
    fault_words("bad configuration file");
    fatal_error("設定ファイル\"%s\"が異常です。%lu行目に異なる改行コードを検出しました。", path,
                line_number);
  }
}

// Passes 1 and 2 find the file beside the program; without the program's
// own path there is none to read.
void run_pass_beside_program(const char* program_path, PassState* state) {
  if (!program_path) return;
  char* path = config_file_path(program_path);
  ScopedFree path_holder(path);
  if (!path) fatal_error("メモリー不足");
  run_pass(path, state);
}

}  // namespace

void take_switch_line(char* line, unsigned char* switch_char) {
  if (strncmp(line, "switch", 6) != 0) return;
  char* equals = strchr(line, '=');
  if (equals) *switch_char = static_cast<unsigned char>(*trim_left(equals + 1));
}

void read_switch_setting(const char* program_path, unsigned char* switch_char) {
  unsigned char value = *switch_char;
  PassState state{Pass::kSwitch, value, &value};
  run_pass_beside_program(program_path, &state);
  *switch_char = value;
}

void apply_config_options(const char* program_path, unsigned char switch_char) {
  PassState state{Pass::kApply, switch_char, nullptr};
  run_pass_beside_program(program_path, &state);
}

void print_config_settings(const char* config_path, unsigned char switch_char) {
  PassState state{Pass::kPrint, switch_char, nullptr};
  run_pass(config_path, &state);
}
