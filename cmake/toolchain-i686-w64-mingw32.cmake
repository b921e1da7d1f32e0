# 32-bit Windows, the configurator's home. Tests run under 32-bit Wine.
set(EMCB_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
