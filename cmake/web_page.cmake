# Assembles the page (cmake -P, from WebPage.cmake). The service worker's cache is named
# after a hash of every file it keeps, so any change makes a new version of the page, and
# it knows each file's hash, so it never keeps another version's.
include(${PAGE_SRC}/files.cmake)
set(kept ${BRELVO_PAGE_FILES} brelvo.js brelvo.wasm icon.svg icon-192.png icon-512.png)
list(REMOVE_ITEM kept ${BRELVO_PAGE_LATER})
set(others ${BRELVO_PAGE_FILES})
list(REMOVE_ITEM others ${BRELVO_PAGE_SCRIPTS} ${BRELVO_PAGE_LATER})
list(TRANSFORM others PREPEND ${PAGE_SRC}/ OUTPUT_VARIABLE page_files)
file(MAKE_DIRECTORY ${OUT}/licenses)
file(COPY ${page_files} ${GAME}/brelvo.js ${GAME}/brelvo.wasm
     ${ICONS}/icon-192.png ${ICONS}/icon-512.png DESTINATION ${OUT})
# The page's scripts as a browser needs them, without their comments and with short local
# names: a first visit downloads a third less of them.
# panels.js names the scripts it loads later as this list does.
string(JOIN " " BRELVO_PAGE_LATER_NAMES ${BRELVO_PAGE_LATER})
configure_file(${PAGE_SRC}/panels.js ${OUT}/panels.source.js @ONLY)
foreach(name IN LISTS BRELVO_PAGE_SCRIPTS BRELVO_PAGE_LATER)
    if(name MATCHES "\\.css$")
        continue()
    endif()
    set(source ${PAGE_SRC}/${name})
    if(name STREQUAL "panels.js")
        set(source ${OUT}/panels.source.js)
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs
                            ${TERSER} ${source} --compress --mangle --ecma 2020
                            -o ${OUT}/${name}
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(REMOVE ${OUT}/panels.source.js)
# The stylesheets without their comments, which are for whoever edits them.
foreach(name IN LISTS BRELVO_PAGE_FILES)
    if(name MATCHES "\\.css$")
        file(READ ${PAGE_SRC}/${name} style)
        string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/\n?" "" style "${style}")
        file(WRITE ${OUT}/${name} "${style}")
    endif()
endforeach()
file(COPY_FILE ${SOURCE_DIR}/data/icons/org.brelvo.Brelvo.svg ${OUT}/icon.svg ONLY_IF_DIFFERENT)
file(COPY_FILE ${SOURCE_DIR}/LICENSE ${OUT}/LICENSE.txt ONLY_IF_DIFFERENT)
# The servers remote play may use, which whoever hosts the page may edit: not kept by the
# service worker, so that an edit counts at once.
file(COPY_FILE ${SOURCE_DIR}/data/web/ice-servers.json ${OUT}/ice-servers.json ONLY_IF_DIFFERENT)
file(COPY_FILE ${SOURCE_DIR}/data/web/rendezvous.json ${OUT}/rendezvous.json ONLY_IF_DIFFERENT)
# What the game carries of others' work: Emscripten's runtime and C and C++ libraries,
# and the stb Vorbis decoder, each with its Debian copyright file.
file(COPY_FILE /usr/share/doc/emscripten/copyright ${OUT}/licenses/emscripten.txt ONLY_IF_DIFFERENT)
file(COPY_FILE /usr/share/doc/libstb-dev/copyright ${OUT}/licenses/stb.txt ONLY_IF_DIFFERENT)

# './' is how the page is first asked for: the same bytes as index.html.
file(SHA256 ${OUT}/index.html index_hash)
set(hashes "")
set(BRELVO_WEB_FILES "\n  './': '${index_hash}'")
foreach(name IN LISTS kept)
    file(SHA256 ${OUT}/${name} hash)
    string(APPEND hashes "${hash} ${name}\n")
    string(APPEND BRELVO_WEB_FILES ",\n  '${name}': '${hash}'")
endforeach()
string(APPEND BRELVO_WEB_FILES "\n")
set(BRELVO_WEB_LATER "")
foreach(name IN LISTS BRELVO_PAGE_LATER)
    file(SHA256 ${OUT}/${name} hash)
    string(APPEND hashes "${hash} ${name}\n")
    string(APPEND BRELVO_WEB_LATER "\n  '${name}': '${hash}',")
endforeach()
string(APPEND BRELVO_WEB_LATER "\n")
string(SHA256 version "${hashes}")
string(SUBSTRING ${version} 0 16 BRELVO_WEB_VERSION)
configure_file(${PAGE_SRC}/sw.js.in ${OUT}/sw.js @ONLY)
# Every first visit fetches the service worker: without its comment lines.
file(READ ${OUT}/sw.js worker)
string(REGEX REPLACE "\n[ ]*//[^\n]*" "" worker "${worker}")
file(WRITE ${OUT}/sw.js "${worker}")
