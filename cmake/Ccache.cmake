# Use ccache when the machine has it.
find_program(BRIVOLA_CCACHE ccache)
if(BRIVOLA_CCACHE)
    set(CMAKE_C_COMPILER_LAUNCHER "${BRIVOLA_CCACHE}")
    set(CMAKE_CXX_COMPILER_LAUNCHER "${BRIVOLA_CCACHE}")
endif()
