# The page a player opens, assembled in BRELVO_WEB_DIR: index.html and its script and
# style, the game's .js and .wasm, the service worker that keeps them for offline play,
# the web manifest with the icons, and the licence texts.
# The icons are drawn by the splash screen's own code, run on the build machine: icongen,
# built by the machine's own compiler from this same source unless one is named.
if(NOT BRELVO_ICONGEN)
    include(ExternalProject)
    ExternalProject_Add(host_icongen
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${CMAKE_BINARY_DIR}/host
        CMAKE_ARGS -DBRELVO_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
        BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target icongen
        BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/host/icongen
        INSTALL_COMMAND "")
    set(BRELVO_ICONGEN ${CMAKE_BINARY_DIR}/host/icongen)
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(BRELVO_TERSER terser REQUIRED)
set(page_src ${PROJECT_SOURCE_DIR}/web)
include(${page_src}/files.cmake)
set(page_icons ${CMAKE_BINARY_DIR}/icons)
set(icons)
foreach(size 192 512)
    set(png ${page_icons}/icon-${size}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${page_icons}
        COMMAND ${BRELVO_ICONGEN} ${size} ${png}
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/png_squeeze.py ${png} ${png}
        DEPENDS ${BRELVO_ICONGEN} $<TARGET_NAME_IF_EXISTS:host_icongen>
                ${PROJECT_SOURCE_DIR}/tools/png_squeeze.py
        COMMENT "Drawing the ${size} pixel icon"
        VERBATIM)
    list(APPEND icons ${png})
endforeach()

list(TRANSFORM BRELVO_PAGE_FILES PREPEND ${page_src}/ OUTPUT_VARIABLE page_inputs)
list(APPEND page_inputs ${page_src}/files.cmake ${page_src}/sw.js.in
     ${PROJECT_SOURCE_DIR}/data/web/ice-servers.json ${PROJECT_SOURCE_DIR}/data/web/rendezvous.json
     ${PROJECT_SOURCE_DIR}/data/icons/org.brelvo.Brelvo.svg ${PROJECT_SOURCE_DIR}/LICENSE)
add_custom_target(page ALL
    COMMAND ${CMAKE_COMMAND} -DPAGE_SRC=${page_src} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DTERSER=${BRELVO_TERSER}
            -DGAME=$<TARGET_FILE_DIR:brelvo> -DICONS=${page_icons} -DOUT=${BRELVO_WEB_DIR}
            -P ${PROJECT_SOURCE_DIR}/cmake/web_page.cmake
    DEPENDS brelvo ${icons} ${page_inputs} ${PROJECT_SOURCE_DIR}/cmake/web_page.cmake
    COMMENT "Assembling the page in ${BRELVO_WEB_DIR}"
    VERBATIM)

# What a player downloads to host the page anywhere: the page's folder as a zip, with a
# README for whoever hosts it (not one of the page's own files: the service worker does
# not keep it). Packed the same way every time, so that one commit gives one zip.
set(BRELVO_WEB_ZIP ${BRELVO_WEB_DIR}/brelvo-${PROJECT_VERSION}-web.zip)
configure_file(${PROJECT_SOURCE_DIR}/data/web/README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY)
add_custom_target(web_zip
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_BINARY_DIR}/README.txt README.txt
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/fixed_pack.py zip
            ${BRELVO_WEB_ZIP} .
            ${BRELVO_PAGE_FILES} sw.js ice-servers.json rendezvous.json
            brelvo.js brelvo.wasm
            icon.svg icon-192.png icon-512.png README.txt LICENSE.txt licenses
    WORKING_DIRECTORY ${BRELVO_WEB_DIR}
    DEPENDS page
    COMMENT "Packing ${BRELVO_WEB_ZIP}"
    VERBATIM)
