# JUCE 8: Debian's source package unpacked by scripts/fetch-juce.sh, or any JUCE 8.0.x checkout
# named by BRIVOLA_JUCE_DIR (for example on macOS).
set(BRIVOLA_JUCE_DIR "${CMAKE_SOURCE_DIR}/.cache/juce/juce-8.0.6" CACHE PATH "JUCE 8.0.x source folder")
if(NOT EXISTS "${BRIVOLA_JUCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "JUCE not found in ${BRIVOLA_JUCE_DIR}. Run scripts/fetch-juce.sh, or set BRIVOLA_JUCE_DIR.")
endif()
add_subdirectory("${BRIVOLA_JUCE_DIR}" "${CMAKE_BINARY_DIR}/juce" EXCLUDE_FROM_ALL)
