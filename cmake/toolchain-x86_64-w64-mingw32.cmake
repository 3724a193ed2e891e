# Cross build for x86_64 Windows: the build whose programs the tests run under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# tools/wine-env.sh provides the Wine prefix and display. Debian's 64-bit loader is taken
# directly: its wrapper warns at every start that the 32-bit part is missing, which these
# tests do not need.
if(EXISTS /usr/lib/wine/wine64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
    set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
