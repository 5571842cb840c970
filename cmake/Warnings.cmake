# Warning flags for the project's own targets (not for JUCE's sources).
add_library(brivola_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(brivola_warnings INTERFACE -Wall -Wextra -Wno-unused-parameter)
endif()
