#include "driver/entry.h"
#include "driver/fatal.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  plat_start(&argc, &argv);
  exit_program(volsurvey_main(argc, argv));
}
