# Read by cpack before it installs what it packs (CPACK_PROJECT_CONFIG_FILE): every date
# in a package is the commit's, unless the builder gives one in SOURCE_DATE_EPOCH, so that
# one commit packs the same bytes wherever it is built. CPack's archives take their
# dates from it, and so does mingw's strip for the time stamp in each Windows executable
# and DLL. Outside a git clone, 1980-01-01, as tools/fixed_pack.py.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    execute_process(COMMAND git -C ${CPACK_BRELVO_SOURCE_DIR} log -1 --format=%ct
        OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT date MATCHES "^[0-9]+$")
        set(date 315532800)
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${date})
endif()
