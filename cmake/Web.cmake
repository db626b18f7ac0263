# The browser's home: the game built by Emscripten against the browser's media layer
# (src/platform/web), then the page a player opens, assembled in BRELVO_WEB_DIR.
set(BRELVO_WEB_DIR ${PROJECT_SOURCE_DIR}/build/web CACHE PATH "Where the page is assembled")
set(BRELVO_ICONGEN "" CACHE FILEPATH "icongen for the build machine (built when not given)")

# Debian's SDL 1.2 and stb headers, copied so that nothing else of the build machine's
# /usr/include reaches the compiler: the game compiles against SDL 1.2 itself.
set(web_include ${CMAKE_BINARY_DIR}/web-include)
file(GLOB sdl_headers /usr/include/SDL/*.h)
if(NOT sdl_headers OR NOT EXISTS /usr/include/stb/stb_vorbis.h)
    message(FATAL_ERROR "The web build needs libsdl1.2-dev, libsdl-mixer1.2-dev and libstb-dev")
endif()
file(COPY ${sdl_headers} DESTINATION ${web_include}/SDL)
file(COPY /usr/include/stb/stb_vorbis.h DESTINATION ${web_include}/stb)

set(web_src ${PROJECT_SOURCE_DIR}/src/platform/web)
add_library(brelvo_media STATIC
    ${web_src}/sdl_core.cpp
    ${web_src}/sdl_events.cpp
    ${web_src}/sdl_joystick.cpp
    ${web_src}/sdl_mixer.cpp
    ${web_src}/sdl_timer.cpp
    ${web_src}/sdl_video.cpp
    ${web_src}/vorbis.c)
set_source_files_properties(${web_src}/vorbis.c PROPERTIES COMPILE_OPTIONS -w)
target_include_directories(brelvo_media SYSTEM PUBLIC ${web_include}/SDL)
target_include_directories(brelvo_media SYSTEM PRIVATE ${web_include})
target_include_directories(brelvo_media PRIVATE ${PROJECT_SOURCE_DIR}/src)
# The duel's catch-and-rethrow needs real exceptions; the waits need Asyncify, which
# must be told which of the page's calls can yield.
target_compile_options(brelvo_media PUBLIC $<$<COMPILE_LANGUAGE:CXX>:-fexceptions>)
target_link_options(brelvo_media INTERFACE
    -fexceptions
    -sASYNCIFY -sASYNCIFY_IMPORTS=[web_wait,emscripten_sleep] -sASYNCIFY_STACK_SIZE=16384
    -sMODULARIZE -sEXPORT_NAME=createBrelvo -sENVIRONMENT=web
    -sDYNAMIC_EXECUTION=0 -sFILESYSTEM=0 -sALLOW_MEMORY_GROWTH -sUSE_SDL=0
    "SHELL:--js-library ${web_src}/library.js")
set_property(TARGET brelvo_media APPEND PROPERTY INTERFACE_LINK_DEPENDS ${web_src}/library.js)

# The browser's mixer checked on its own under node, with the page's side played by the
# test: built with the page, and a failing check fails the build.
add_executable(web_mixer_test ${PROJECT_SOURCE_DIR}/tests/web/mixer_test.cpp
    ${web_src}/sdl_mixer.cpp ${web_src}/sdl_core.cpp ${web_src}/vorbis.c)
target_include_directories(web_mixer_test SYSTEM PRIVATE ${web_include}/SDL ${web_include})
target_include_directories(web_mixer_test PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(web_mixer_test PRIVATE brelvo_sounds)
target_link_options(web_mixer_test PRIVATE -sENVIRONMENT=node -sALLOW_MEMORY_GROWTH
    -sWASM_ASYNC_COMPILATION=0)  # node 20 has a fetch that cannot read files
add_custom_command(TARGET web_mixer_test POST_BUILD
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:web_mixer_test>
    COMMENT "Checking the browser's mixer" VERBATIM)
