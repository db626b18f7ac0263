# The Windows game as a zip a player unpacks and double-clicks: brelvo.exe with its icon
# and version information, the five DLLs it needs, "Play alone.cmd" that starts it against
# the computer, the licences and a README.txt.
# BRELVO_WINDOWS_PREFIX holds SDL, SDL_mixer, libogg and libvorbis built for Windows by
# tools/windows.sh.
if(NOT EXISTS "${BRELVO_WINDOWS_PREFIX}/lib/libSDL_mixer.dll.a")
    message(FATAL_ERROR "No SDL for Windows in '${BRELVO_WINDOWS_PREFIX}': build with tools/windows.sh")
endif()
set(windows_generated ${CMAKE_BINARY_DIR}/windows)

# Every program links -static (CMakeLists.txt); that would take SDL's static archives for
# -lSDL, but pkg-config's imported target names the import libraries by path.

# The DLLs a player needs, stripped, beside the executables so that programs run from
# the build folder under wine find them too. strip stamps each with the time it runs,
# or with SOURCE_DATE_EPOCH: they are the libraries' and not the commit's, so a fixed
# date (1980-01-01), the same in every build.
set(BRELVO_WINDOWS_DLLS SDL.dll SDL_mixer.dll libogg-0.dll libvorbis-0.dll libvorbisfile-3.dll)
set(dlls)
foreach(dll IN LISTS BRELVO_WINDOWS_DLLS)
    add_custom_command(OUTPUT ${windows_generated}/${dll}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${windows_generated}
        COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=315532800
                ${CMAKE_STRIP} --strip-unneeded -o ${windows_generated}/${dll}
                ${BRELVO_WINDOWS_PREFIX}/bin/${dll}
        DEPENDS ${BRELVO_WINDOWS_PREFIX}/bin/${dll}
        VERBATIM)
    list(APPEND dlls ${windows_generated}/${dll})
endforeach()
add_custom_target(windows_dlls ALL DEPENDS ${dlls})

# The icon: the splash screen's mark drawn by icongen (under wine, as the build's
# executables run) at the sizes Windows shows, joined into one .ico.
add_executable(icongen tools/icongen.cpp)
target_link_libraries(icongen PRIVATE brelvo_core brelvo_sounds)
set(icon_pngs)
foreach(size 16 32 48 256)
    set(png ${windows_generated}/icon-${size}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:icongen> ${size} ${png}
        DEPENDS icongen windows_dlls
        WORKING_DIRECTORY ${windows_generated}
        COMMENT "Drawing the ${size} pixel icon"
        VERBATIM)
    list(APPEND icon_pngs ${png})
endforeach()
set(icon ${windows_generated}/brelvo.ico)
add_custom_command(OUTPUT ${icon}
    COMMAND convert ${icon_pngs} ${icon}
    DEPENDS ${icon_pngs}
    COMMENT "Joining the icons"
    VERBATIM)
add_custom_target(windows_icon DEPENDS ${icon})

# Icon and version information as the executable's own resources. SDL names its window
# class's icon SDL_app, so the window shows the same icon as Explorer.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "Copyright[^\n]*" BRELVO_COPYRIGHT "${licence}")
set(BRELVO_ICON ${icon})
configure_file(${PROJECT_SOURCE_DIR}/data/windows/brelvo.rc.in ${windows_generated}/brelvo.rc @ONLY)
target_sources(brelvo PRIVATE ${windows_generated}/brelvo.rc)
set_source_files_properties(${windows_generated}/brelvo.rc PROPERTIES OBJECT_DEPENDS ${icon})
add_dependencies(brelvo windows_icon)

# The zip.
file(READ ${BRELVO_WINDOWS_PREFIX}/share/licenses/versions library_versions)
string(REGEX MATCH "libsdl1.2=([^ ]+)" _ "${library_versions}")
set(SDL_DEBIAN_VERSION ${CMAKE_MATCH_1})
string(REGEX MATCH "sdl-mixer1.2=([^ ]+)" _ "${library_versions}")
set(MIXER_DEBIAN_VERSION ${CMAKE_MATCH_1})
string(REGEX MATCH "libogg=([^ ]+)" _ "${library_versions}")
set(OGG_DEBIAN_VERSION ${CMAKE_MATCH_1})
string(REGEX MATCH "libvorbis=([^ ]+)" _ "${library_versions}")
set(VORBIS_DEBIAN_VERSION ${CMAKE_MATCH_1})
# Texts a player opens in Notepad get Windows' line ends.
configure_file(${PROJECT_SOURCE_DIR}/data/windows/README.txt.in ${windows_generated}/README.txt
    @ONLY NEWLINE_STYLE WIN32)
configure_file(${PROJECT_SOURCE_DIR}/data/windows/LIBRARIES.txt.in
    ${windows_generated}/licenses/LIBRARIES.txt @ONLY NEWLINE_STYLE WIN32)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${windows_generated}/LICENSE.txt @ONLY
    NEWLINE_STYLE WIN32)
# cmd.exe reads a batch file with bare line feeds wrongly at times (labels, long lines).
configure_file(${PROJECT_SOURCE_DIR}/data/windows/play-alone.cmd.in ${windows_generated}/play-alone.cmd
    @ONLY NEWLINE_STYLE WIN32)

install(TARGETS brelvo RUNTIME DESTINATION .)
install(FILES ${dlls} ${windows_generated}/README.txt DESTINATION .)
install(FILES ${windows_generated}/LICENSE.txt DESTINATION .)
install(FILES ${windows_generated}/play-alone.cmd DESTINATION . RENAME "Play alone.cmd")
set(licences ${BRELVO_WINDOWS_PREFIX}/share/licenses)
install(FILES ${windows_generated}/licenses/LIBRARIES.txt DESTINATION licenses)
install(FILES ${licences}/libsdl1.2.COPYING DESTINATION licenses RENAME SDL-COPYING.txt)
install(FILES ${licences}/libsdl1.2.copyright DESTINATION licenses RENAME SDL-copyright.txt)
install(FILES ${licences}/sdl-mixer1.2.COPYING DESTINATION licenses RENAME SDL_mixer-COPYING.txt)
install(FILES ${licences}/sdl-mixer1.2.copyright DESTINATION licenses RENAME SDL_mixer-copyright.txt)
install(FILES ${licences}/libogg.COPYING DESTINATION licenses RENAME libogg-COPYING.txt)
install(FILES ${licences}/libvorbis.COPYING DESTINATION licenses RENAME libvorbis-COPYING.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME brelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME brelvo-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
# The same bytes from one commit wherever it is packed: cmake/cpack_date.cmake and
# cmake/cpack_fixed.cmake.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_date.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_fixed.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_fixed.cmake)
set(CPACK_BRELVO_PYTHON ${Python3_EXECUTABLE})
set(CPACK_BRELVO_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
