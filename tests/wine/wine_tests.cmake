# Checks of the real Windows build under Wine; included by the Windows
# builds, shipped (win32, win64) and checked (win32-checked, win64-checked).
# Each build has a prefix of its own, so that the checks of all four can run
# side by side; one build's checks take turns on it.
enable_testing()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VOLSURVEY_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)

# The build of the other bitness, of the same kind: the checks that run
# both compare them.
if(VOLSURVEY_CHECKED)
  set(kind "-checked")
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
# second time (where 32-bit code runs under qemu-user, most of its time).
function(volsurvey_wine_test name script)
  set(pair "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND "--peer" IN_LIST ARGN)
    set(pair --compared-by-peer)
  endif()
  add_test(NAME wine.${name}
           COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/wine/${script}
                   --exe $<TARGET_FILE:volsurvey>
                   --prefix ${VOLSURVEY_WINE_PREFIX}
                   --mounts ${CMAKE_BINARY_DIR}/mounts
                   ${ARGN} ${pair})
  set_tests_properties(wine.${name} PROPERTIES
                       LABELS wine SKIP_RETURN_CODE 77 RESOURCE_LOCK wineprefix TIMEOUT 1800)
endfunction()

volsurvey_wine_test(drive_report test_drive_report.py)
volsurvey_wine_test(console test_console.py)
volsurvey_wine_test(config test_config.py)
volsurvey_wine_test(help test_help.py)
volsurvey_wine_test(drive_kinds test_drive_kinds.py --peer ${VOLSURVEY_PEER_EXE})
volsurvey_wine_test(fat_boot_sector test_fat_volumes.py --peer ${VOLSURVEY_PEER_EXE})
volsurvey_wine_test(fat_mounted test_fat_volumes.py --peer ${VOLSURVEY_PEER_EXE} --mounted)
volsurvey_wine_test(unreadable test_unreadable.py --peer ${VOLSURVEY_PEER_EXE})
volsurvey_wine_test(program_path test_program_path.py --peer ${VOLSURVEY_PEER_EXE})
volsurvey_wine_test(output_failures test_output_failures.py)
volsurvey_wine_test(code_pages test_code_pages.py --peer ${VOLSURVEY_PEER_EXE})
volsurvey_wine_test(system_calls test_system_calls.py)
# A drive whose server stops answering; compiles stallfs into this build's
# folder, and holds the drive open with hold_drive.
volsurvey_wine_test(unanswered test_unanswered.py --holder $<TARGET_FILE:hold_drive>)
volsurvey_wine_test(names_as_written test_names_as_written.py)
volsurvey_wine_test(without_932 test_without_932.py)
# /a over every drive of the prefix, with drives that never answer.
volsurvey_wine_test(all_drives test_all_drives.py --holder $<TARGET_FILE:hold_drive>)
# /j against the text reports, labels beyond Shift-JIS, and a dead drive.
volsurvey_wine_test(json test_json.py --holder $<TARGET_FILE:hold_drive>)
# /l against the text reports, the thresholds' marks and colour, dead drives.
volsurvey_wine_test(list test_list.py --holder $<TARGET_FILE:hold_drive>)
# Volumes mounted in folders: what Wine answers, and that letters, paths
# and volume names report as they must; list_volumes shows Wine's answers.
volsurvey_wine_test(mount_folders test_mount_folders.py --volumes $<TARGET_FILE:list_volumes>)
# The checks catch what they are there for: faults planted in a program of
# their own; the traps only where the build is checked.
if(VOLSURVEY_CHECKED)
  set(checked_build --checked)
endif()
volsurvey_wine_test(checks_catch test_checks_catch.py --planted $<TARGET_FILE:planted_faults>
                    --runner $<TARGET_FILE:run_wide> ${checked_build})
if(VOLSURVEY_CHECKED)
  # The fuzzer, briefly (scripts/fuzz runs it longer); it compares with the
  # scripted build of the host preset, built first by scripts/test.
  volsurvey_wine_test(fuzz fuzz_program.py --runner $<TARGET_FILE:run_wide>
                      --sim ${CMAKE_SOURCE_DIR}/build/host/volsurvey-sim --seconds 25)
endif()
