# What `cmake --install` puts where, as a Debian game lays itself out: the executable in
# games/ beside bin/, however the build was configured (a packager may still name
# another CMAKE_INSTALL_BINDIR).
set(CMAKE_INSTALL_BINDIR games CACHE PATH "Where the game's executable is installed")
include(GNUInstallDirs)

set(BRELVO_APP_ID org.brelvo.Brelvo)
set(data ${PROJECT_SOURCE_DIR}/data)
set(generated ${CMAKE_BINARY_DIR}/data)

# Icons: the hand-written SVG, and PNGs drawn by the splash screen's own code.
add_executable(icongen tools/icongen.cpp)
target_link_libraries(icongen PRIVATE brelvo_core brelvo_sounds)
set(icon_files)
foreach(size 48 128 256)
    set(png ${generated}/icons/${size}x${size}/${BRELVO_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/icons/${size}x${size}
        COMMAND icongen ${size} ${png}
        DEPENDS icongen
        COMMENT "Drawing the ${size} pixel icon"
        VERBATIM)
    list(APPEND icon_files ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Debian wants the manual and the changelog compressed, reproducibly (-n: no time stamp).
set(man_gz ${generated}/brelvo.6.gz)
set(changelog_gz ${generated}/changelog.gz)
add_custom_command(OUTPUT ${man_gz}
    COMMAND sh -c "gzip -9nc '${data}/brelvo.6' > '${man_gz}'"
    DEPENDS ${data}/brelvo.6 VERBATIM)
add_custom_command(OUTPUT ${changelog_gz}
    COMMAND sh -c "gzip -9nc '${data}/changelog' > '${changelog_gz}'"
    DEPENDS ${data}/changelog VERBATIM)
add_custom_target(install_data ALL DEPENDS ${icon_files} ${man_gz} ${changelog_gz})

install(TARGETS brelvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${data}/${BRELVO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${data}/${BRELVO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${data}/icons/${BRELVO_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${data}/copyright ${changelog_gz} DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README and its pages, laid out as in the sources, so that their links hold.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png")

# A Debian package of the above: `cpack` in the build directory.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Brelvo developers <brelvo@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two-player light-blade duel on one keyboard")
set(CPACK_PACKAGE_DESCRIPTION
    "Brelvo is a small party game for two players who share one keyboard. Each
round is a duel of two light blades on a display of 9 by 9 big coloured cells:
step, turn the blade, clash tip to tip, and strike the other fighter to win the
round. The first player to win 9 rounds wins the match.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The same bytes from one commit wherever it is packed: cmake/cpack_date.cmake and
# cmake/cpack_fixed.cmake.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_date.cmake)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_fixed.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_fixed.cmake)
set(CPACK_BRELVO_PYTHON ${Python3_EXECUTABLE})
set(CPACK_BRELVO_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
