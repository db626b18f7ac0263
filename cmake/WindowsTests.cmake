# The Windows game's tests, all under wine: the unit tests cross-built against Debian's
# GoogleTest sources and run through the cross-compiling emulator, then the zip unpacked
# into an empty folder and its brelvo.exe driven in Xvfb from this machine's side.
# `cpack` must have made the zip before ctest runs (tools/windows.sh does both).
set(googletest_source /usr/src/googletest)
if(NOT EXISTS ${googletest_source}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest's sources are missing: install Debian's googletest package")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${googletest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Unit tests run headless, with SDL's dummy drivers, in this build's wine prefix, each
# started again should wine end before it has run anything (tests/wine/run_test.sh).
set(wine_test_emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
list(INSERT wine_test_emulator 1 SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
    "WINEPATH=Z:${CMAKE_BINARY_DIR}/windows")
list(PREPEND wine_test_emulator ${CMAKE_CURRENT_SOURCE_DIR}/wine/run_test.sh)
function(brelvo_gtest target)
    set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR "${wine_test_emulator}")
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 120 NO_PRETTY_VALUES ${ARGN})
endfunction()

# One wine server with its services for all tests, started with no pipe of ctest's: the
# services a first program starts would otherwise hold that test's output open after it
# ended. The server stops after the last test.
string(JOIN " " wine_env ${CMAKE_CROSSCOMPILING_EMULATOR})
string(REGEX REPLACE " wine$" "" wine_env "${wine_env}")

include(GoogleTest)

# The unit tests as on Linux, with the resource tests of the executable's own clips.
add_executable(unit_tests ${BRELVO_UNIT_TEST_SOURCES} windows_sound_test.cpp windows_settle.cpp)
target_compile_definitions(unit_tests PRIVATE
    BRELVO_SOUNDS_DIR="Z:${PROJECT_SOURCE_DIR}/assets/sounds")
target_link_libraries(unit_tests PRIVATE brelvo_core brelvo_test_sounds GTest::gtest GTest::gtest_main)
add_dependencies(unit_tests windows_dlls)
brelvo_gtest(unit_tests PROPERTIES TIMEOUT 120 FIXTURES_REQUIRED wine)

# The Linux-side driver of the real-window tests, built for this machine.
include(ExternalProject)
set(driver_dir ${CMAKE_CURRENT_BINARY_DIR}/wine-driver)
ExternalProject_Add(wine_window_driver
    SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/wine
    BINARY_DIR ${driver_dir}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)

# The zip, unpacked into an empty folder: exactly the files a player gets.
set(unpacked ${CMAKE_CURRENT_BINARY_DIR}/unpacked)
set(zip ${CMAKE_BINARY_DIR}/brelvo-${PROJECT_VERSION}-win64.zip)
set(game_dir ${unpacked}/brelvo-${PROJECT_VERSION}-win64)
add_test(NAME zip_contents COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine/zip_test.sh ${zip} ${unpacked}
    ${CMAKE_OBJDUMP} ${CMAKE_RC_COMPILER} ${PROJECT_VERSION})
set_tests_properties(zip_contents PROPERTIES FIXTURES_SETUP unpacked)

# The unpacked game under wine, in the build's wine prefix, on an X server of its own.
set(run_script ${CMAKE_CURRENT_BINARY_DIR}/run-brelvo.sh)
string(JOIN " " wine_command ${CMAKE_CROSSCOMPILING_EMULATOR})
file(CONFIGURE OUTPUT ${run_script} @ONLY CONTENT "#!/bin/sh
# brelvo.exe from the unpacked zip, under wine, started from its own folder, with
# BRELVO_WINE_ARG as its one argument when set; or the zip's script that BRELVO_WINE_CMD
# names, run by wine's cmd as a double-click runs it.
cd '@game_dir@' || exit 1
if [ -n \"\${BRELVO_WINE_CMD:-}\" ]; then
    exec @wine_command@ cmd /c \"\$BRELVO_WINE_CMD\"
fi
exec @wine_command@ ./brelvo.exe \${BRELVO_WINE_ARG:+\"\$BRELVO_WINE_ARG\"}
")
file(CHMOD ${run_script} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

# A display number of this build's own, clear of the Linux tests' :100 to :499.
string(MD5 display_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${display_hash}" 0 3 display_hex)
math(EXPR display_number "0x${display_hex} % 100 + 500")
set(BRELVO_WINE_DISPLAY ":${display_number}" CACHE STRING "X display the wine tests start Xvfb on")
set(xvfb_pid ${CMAKE_CURRENT_BINARY_DIR}/xvfb.pid)
add_test(NAME wine_xvfb_start
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/xvfb.sh start ${BRELVO_WINE_DISPLAY} ${xvfb_pid})
add_test(NAME wine_xvfb_stop
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/xvfb.sh stop ${BRELVO_WINE_DISPLAY} ${xvfb_pid})
set_tests_properties(wine_xvfb_start PROPERTIES FIXTURES_SETUP wine_xvfb)
set_tests_properties(wine_xvfb_stop PROPERTIES FIXTURES_CLEANUP wine_xvfb)

# wine's desktop process starts with the server, on the tests' X server.
add_test(NAME wine_server_start COMMAND sh -c
    "${wine_env} wineserver -p </dev/null >/dev/null 2>&1; ${wine_env} DISPLAY=${BRELVO_WINE_DISPLAY} wine wineboot </dev/null >/dev/null 2>&1; exit 0")
add_test(NAME wine_server_stop COMMAND sh -c "${wine_env} wineserver -k; exit 0")
set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine FIXTURES_REQUIRED wine_xvfb)
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine)

foreach(case WineWindow.SplashThenTheFirstRoundThenAStepThenEsc WineWindow.EscOnTheSplashEnds
        WineWindow.ClosingTheWindowEnds WineNoSound.EndsWithoutAWindowAndSaysWhyInStderrTxt
        WineComputer.WinsAWholeMatchAgainstNoInputAndEnds WinePlayAlone.TheCmdStartsTheComputerAndReturns
        WineOptions.UnknownEndsWithStatus2BeforeAWindowAndHelpPrintsTheUsage)
    add_test(NAME ${case} COMMAND ${driver_dir}/wine_window_tests --gtest_filter=${case})
    set_tests_properties(${case} PROPERTIES
        FIXTURES_REQUIRED "unpacked;wine_xvfb;wine" RUN_SERIAL ON TIMEOUT 180
        ENVIRONMENT "DISPLAY=${BRELVO_WINE_DISPLAY};BRELVO_WINE_RUN=${run_script};BRELVO_WINE_DIR=${game_dir}")
endforeach()
# A whole match takes up to about 70 s after the window has taken its own while to open.
set_tests_properties(WineComputer.WinsAWholeMatchAgainstNoInputAndEnds PROPERTIES TIMEOUT 300)
