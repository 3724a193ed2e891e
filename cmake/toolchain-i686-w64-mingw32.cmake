# Cross build for i686 Windows: the release. Its tests are built and run from the x86_64
# build, since a 64-bit Wine is all the test machines need.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
