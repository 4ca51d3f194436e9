#include "console/output.h"
#include "driver/entry.h"

int main(int argc, char** argv) { exit_program(volsurvey_main(argc, argv)); }
