# System libraries from the distribution's packages.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FFTW3 REQUIRED IMPORTED_TARGET fftw3)
# Google Highway: the voice engine's vector kernels with run-time choice of the instruction set.
pkg_check_modules(HWY REQUIRED IMPORTED_TARGET libhwy)
find_package(Threads REQUIRED)
if(BRIVOLA_BUILD_TESTS)
    find_package(GTest REQUIRED)
endif()
if(BRIVOLA_BUILD_BENCH)
    find_package(benchmark REQUIRED)
endif()
