# Use ccache when the machine has it. The scripts set CCACHE_BASEDIR to the repository, so a fresh
# clone elsewhere on the same machine (as CI makes) reuses the cache.
find_program(BRIVOLA_CCACHE ccache)
if(BRIVOLA_CCACHE)
    set(CMAKE_C_COMPILER_LAUNCHER "${BRIVOLA_CCACHE}")
    set(CMAKE_CXX_COMPILER_LAUNCHER "${BRIVOLA_CCACHE}")
endif()
