# Checks of the real Windows build under Wine; included by the win32 and
# win64 builds.  They share one prefix under build/ and take turns on it.
enable_testing()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VOLSURVEY_WINE_PREFIX ${CMAKE_SOURCE_DIR}/build/wineprefix)

function(volsurvey_wine_test name script)
  add_test(NAME wine.${name}
           COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/wine/${script}
                   --exe $<TARGET_FILE:volsurvey>
                   --prefix ${VOLSURVEY_WINE_PREFIX}
                   --mounts ${CMAKE_BINARY_DIR}/mounts
                   ${ARGN})
  set_tests_properties(wine.${name} PROPERTIES
                       LABELS wine SKIP_RETURN_CODE 77 RESOURCE_LOCK wineprefix TIMEOUT 600)
endfunction()

volsurvey_wine_test(drive_report test_drive_report.py)
volsurvey_wine_test(console test_console.py)
volsurvey_wine_test(config test_config.py)
volsurvey_wine_test(help test_help.py)
