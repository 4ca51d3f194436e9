#include "help/banner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/program_path.h"
#include "console/output.h"
#include "text/sjis.h"

namespace {

const char kVersion[] = "1.11";
char g_build_date[32];

}  // namespace

const char* build_date_from(const char* date_string) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  size_t month = 0;
  while (month < 12 && !equal_prefix(&kMonths[3 * month], date_string, 3)) ++month;
  int day = strlen(date_string) > 4 ? static_cast<int>(strtol(date_string + 4, nullptr, 10)) : 0;
  const char* year = strlen(date_string) > 7 ? date_string + 7 : "";
  snprintf(g_build_date, sizeof g_build_date, "%s-%02d-%02d", year, static_cast<int>(month) + 1,
           day);
  return g_build_date;
}

const char* build_date() { return build_date_from(__DATE__); }

void print_banner() {
  const char* date = build_date();
  out_puts("ディスク状態表示コマンド  VOL SURVEY command\n");
  out_printf("volsurvey（ボル・サーベイ）第%s  %s\n", kVersion, date);
  // The year of the build, not a stored one.
  out_printf("Copyright (C) %s The volsurvey Authors.\n", &__DATE__[7]);
}

char* program_name_from_path(char* path) {
  size_t n = strlen(path);
  if (n == 0) return nullptr;
  // Too short to hold a name and an extension: there is nothing to cut.
  if (n < 5) return path;
  path[n - 4] = '\0';
  // The last backslash that is no second byte of a double-byte character,
  // split as the program's path is everywhere; a backslash that opens the
  // path is never taken for the separator.
  char* name = after_last_separator(path);
  return name == path + 1 ? path : name;
}
