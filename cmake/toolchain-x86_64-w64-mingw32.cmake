# Cross build for x86_64 Windows: the build whose programs the tests run under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Its programs run under Wine inside tools/wine-env.sh, which provides the Wine prefix and
# display; tools/wine-test.sh runs each and tells Wine's failed starts from failed tests.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-test.sh)
