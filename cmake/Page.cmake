# The editor's page, embedded in the plug-in as binary data.
#
# ui/build-page.sh bundles the page's sources into ${CMAKE_BINARY_DIR}/page; juceaide then turns the
# served files into the `BinaryData` namespace (index_html, style_css, ui_js, OutfitLatin_woff2,
# anodizeGrain_png, ...). The page build depends on every page source, so an edited page is
# re-embedded by an ordinary build. Defines the static library `brivola_page_data`.

set(BRIVOLA_PAGE_SOURCE_DIR "${CMAKE_SOURCE_DIR}/ui")
set(BRIVOLA_PAGE_DIR "${CMAKE_BINARY_DIR}/page")

if(NOT EXISTS "${BRIVOLA_PAGE_SOURCE_DIR}/build-page.sh")
    message(FATAL_ERROR "The page build script ${BRIVOLA_PAGE_SOURCE_DIR}/build-page.sh is missing.")
endif()

# The files the page is served from, in the order of the editor's resource table.
set(BRIVOLA_PAGE_FILE_NAMES
    index.html
    style.css
    ui.js
    OutfitLatin.woff2
    anodizeGrain.png
    anodizeGrainDark.png
    anodizeGrainRecess.png
    anodizeGrainRecessDark.png)
list(TRANSFORM BRIVOLA_PAGE_FILE_NAMES PREPEND "${BRIVOLA_PAGE_DIR}/" OUTPUT_VARIABLE BRIVOLA_PAGE_FILES)

# CONFIGURE_DEPENDS: a page source added or removed makes the next build re-glob.
file(GLOB_RECURSE BRIVOLA_PAGE_INPUTS CONFIGURE_DEPENDS
    "${BRIVOLA_PAGE_SOURCE_DIR}/src/*")
file(GLOB BRIVOLA_PAGE_TOP_INPUTS CONFIGURE_DEPENDS
    "${BRIVOLA_PAGE_SOURCE_DIR}/*.html"
    "${BRIVOLA_PAGE_SOURCE_DIR}/*.css"
    "${BRIVOLA_PAGE_SOURCE_DIR}/tools/*"
    "${BRIVOLA_PAGE_SOURCE_DIR}/package*.json")
list(APPEND BRIVOLA_PAGE_INPUTS ${BRIVOLA_PAGE_TOP_INPUTS} "${BRIVOLA_PAGE_SOURCE_DIR}/build-page.sh")

# The script may leave a file it did not need to change with its old time; touching every output
# keeps them newer than the inputs, so the command does not run again on the next build.
add_custom_command(
    OUTPUT ${BRIVOLA_PAGE_FILES}
    COMMAND "${BRIVOLA_PAGE_SOURCE_DIR}/build-page.sh" "${BRIVOLA_PAGE_DIR}"
    COMMAND "${CMAKE_COMMAND}" -E touch ${BRIVOLA_PAGE_FILES}
    DEPENDS ${BRIVOLA_PAGE_INPUTS}
    WORKING_DIRECTORY "${BRIVOLA_PAGE_SOURCE_DIR}"
    COMMENT "Building the editor's page into ${BRIVOLA_PAGE_DIR}"
    USES_TERMINAL
    VERBATIM)

juce_add_binary_data(brivola_page_data
    NAMESPACE BinaryData
    HEADER_NAME BinaryData.h
    SOURCES ${BRIVOLA_PAGE_FILES})
