# Cross build for i686 Windows: the release, whose programs the tests run under Wine's WoW64,
# as players run them on 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Its programs run under Wine inside tools/wine-env.sh, which provides the Wine prefix and
# display; tools/wine-test.sh runs each and tells Wine's failed starts from failed tests.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-test.sh)
