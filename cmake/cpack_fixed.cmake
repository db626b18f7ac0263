# Run by cpack around packing, after cmake/cpack_date.cmake has fixed the date, so that
# one commit packs the same bytes wherever it is built. Before (CPACK_PRE_BUILD_SCRIPTS):
# every folder staged for the package is 755 whatever the umask (the files have
# install()'s own modes). After (CPACK_POST_BUILD_SCRIPTS, which name the packages):
# tools/fixed_pack.py packs a zip again without the builder's time zone and user, and
# gives a .deb's members one mode.
if(NOT CPACK_PACKAGE_FILES)
    file(GLOB_RECURSE folders LIST_DIRECTORIES true ${CPACK_TEMPORARY_DIRECTORY}/*)
    foreach(folder IN LISTS folders)
        if(IS_DIRECTORY ${folder})
            file(CHMOD ${folder} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
        endif()
    endforeach()
    return()
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(package MATCHES "\\.deb$")
        set(how deb)
    else()
        set(how rezip)
    endif()
    execute_process(COMMAND ${CPACK_BRELVO_PYTHON} ${CPACK_BRELVO_SOURCE_DIR}/tools/fixed_pack.py
        ${how} ${package} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
