# 64-bit Windows: the same Windows backends, for running the tests under 64-bit Wine
# on a machine whose kernel runs no 32-bit processes (and so no 32-bit Wine).
set(EMCB_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
