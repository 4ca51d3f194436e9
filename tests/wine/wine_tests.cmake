# Checks of the real Windows build under Wine; included by the Windows
# builds, shipped (win32, win64) and checked (win32-checked, win64-checked).
# Each build has two prefixes of its own, its lanes, so that the checks of
# all four builds can run side by side, two suites of each at a time
# (ctest -j2); one lane's suites take turns on its prefix.  A build's suites
# are shared between the lanes by their time where 32-bit code runs under
# qemu-user, so that both lanes end about together.
enable_testing()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The build of the other bitness, of the same kind: the checks that run
# both compare them.  Some suites do less or more on a checked build.
if(VOLSURVEY_CHECKED)
  set(kind "-checked")
  set(checked_build --checked)
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VOLSURVEY_PEER_EXE ${CMAKE_SOURCE_DIR}/build/win32${kind}/volsurvey.exe)
else()
  set(VOLSURVEY_PEER_EXE ${CMAKE_SOURCE_DIR}/build/win64${kind}/volsurvey.exe)
endif()

# A suite's TIMEOUT only ends one that hangs as a whole: where 32-bit code
# runs under qemu-user beside three other builds' checks, a suite may take
# five times what it takes here.  Each run's own limits are measured against
# the pace of the moment (winelib's baselines).
# A suite given the other build (--peer) runs each case on both and compares
# them; the 32-bit build's suite does it for the pair, so that the 64-bit
# build's runs its own build alone instead of running every 32-bit case a
# second time (where 32-bit code runs under qemu-user, most of its time),
# and not at all where the 32-bit build's suites run too (scripts/test sets
# VOLSURVEY_PAIRS_RUN): it would only run the same cases again.
function(volsurvey_wine_test lane name script)
  set(pair "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND "--peer" IN_LIST ARGN)
    set(pair --compared-by-peer)
  endif()
  add_test(NAME wine.${name}
           COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/wine/${script}
                   --exe $<TARGET_FILE:volsurvey>
                   --prefix ${CMAKE_BINARY_DIR}/wineprefix-${lane}
                   --mounts ${CMAKE_BINARY_DIR}/mounts-${lane}
                   ${ARGN} ${pair})
  set_tests_properties(wine.${name} PROPERTIES
                       LABELS wine SKIP_RETURN_CODE 77 RESOURCE_LOCK wineprefix-${lane}
                       TIMEOUT 1800)
endfunction()

# Declared longest first (ctest starts them in this order where it has
# measured none), the lanes given about equal shares.
# A drive whose server stops answering; compiles stallfs into this build's
# folder, and holds the drive open with hold_drive.
volsurvey_wine_test(1 unanswered test_unanswered.py --holder $<TARGET_FILE:hold_drive>)
# /a over every drive of the prefix, with drives that never answer.
volsurvey_wine_test(2 all_drives test_all_drives.py --holder $<TARGET_FILE:hold_drive>)
# /m, the answer of a monitoring check, against the text reports, with
# levels, dead drives and /d; on the 32-bit build as shipped (the program
# scripts/run runs) also as a real Nagios Core keeps it: once for the four
# builds.
set(nagios "")
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND NOT VOLSURVEY_CHECKED)
  set(nagios --nagios /usr/sbin/nagios4)
endif()
volsurvey_wine_test(2 monitoring test_monitoring.py --holder $<TARGET_FILE:hold_drive> ${nagios})
# The record of runs (/r) and the days until full it tells.
volsurvey_wine_test(2 record test_record.py ${checked_build})
volsurvey_wine_test(2 names_as_written test_names_as_written.py)
# /l against the text reports, the thresholds' marks and colour, dead drives;
# Ctrl+C at random moments on a console, 50 times on the shipped 64-bit
# build (which no qemu-user slows where the kernel runs no 32-bit code), 10
# on the others.
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND NOT VOLSURVEY_CHECKED)
  set(breaks 50)
else()
  set(breaks 10)
endif()
volsurvey_wine_test(1 list test_list.py --holder $<TARGET_FILE:hold_drive>
                    --console-after $<TARGET_FILE:console_after> --breaks ${breaks})
# /j against the text reports, labels beyond Shift-JIS, and a dead drive.
volsurvey_wine_test(2 json test_json.py --holder $<TARGET_FILE:hold_drive>)
volsurvey_wine_test(1 drive_kinds test_drive_kinds.py --peer ${VOLSURVEY_PEER_EXE})
if(VOLSURVEY_CHECKED)
  # The fuzzer, briefly (scripts/fuzz runs it longer); it compares with the
  # scripted build of the host preset, built first by scripts/test.
  volsurvey_wine_test(1 fuzz fuzz_program.py --runner $<TARGET_FILE:run_wide>
                      --sim ${CMAKE_SOURCE_DIR}/build/host/volsurvey-sim --seconds 25)
endif()
volsurvey_wine_test(2 unreadable test_unreadable.py --peer ${VOLSURVEY_PEER_EXE})
volsurvey_wine_test(1 code_pages test_code_pages.py --peer ${VOLSURVEY_PEER_EXE})
# Volumes mounted in folders: what Wine answers, and that letters, paths
# and volume names report as they must; list_volumes shows Wine's answers.
volsurvey_wine_test(1 mount_folders test_mount_folders.py --volumes $<TARGET_FILE:list_volumes>)
volsurvey_wine_test(2 console test_console.py)
volsurvey_wine_test(1 drive_report test_drive_report.py)
volsurvey_wine_test(1 output_failures test_output_failures.py)
volsurvey_wine_test(2 fat_boot_sector test_fat_volumes.py --peer ${VOLSURVEY_PEER_EXE})
volsurvey_wine_test(1 fat_mounted test_fat_volumes.py --peer ${VOLSURVEY_PEER_EXE} --mounted)
volsurvey_wine_test(2 without_932 test_without_932.py)
# The checks catch what they are there for: faults planted in a program of
# their own; the traps only where the build is checked.
volsurvey_wine_test(2 checks_catch test_checks_catch.py --planted $<TARGET_FILE:planted_faults>
                    --runner $<TARGET_FILE:run_wide> ${checked_build})
volsurvey_wine_test(1 program_path test_program_path.py --peer ${VOLSURVEY_PEER_EXE})
volsurvey_wine_test(1 system_calls test_system_calls.py)
volsurvey_wine_test(2 config test_config.py)
volsurvey_wine_test(2 help test_help.py)
