# Cross-builds the tools for 32-bit Windows with MinGW-w64; the tests run
# the executables under Wine.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
