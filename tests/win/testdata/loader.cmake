# Included by tests/win/CMakeLists.txt: the modules the loader tests load,
# built beside the test program. LoaderProbe.dll has a DllMain that reports
# to a file; LoaderUndefined.dll needs a function nobody defines.
set(loader_testdata ${CMAKE_CURRENT_LIST_DIR})
add_library(win_loader_probe SHARED ${loader_testdata}/loader_probe.cpp)
target_link_libraries(win_loader_probe PRIVATE win)
target_link_options(win_loader_probe PRIVATE -Wl,--no-undefined -Wl,--version-script=${loader_testdata}/loader_probe.map)
set_target_properties(win_loader_probe PROPERTIES PREFIX "" OUTPUT_NAME LoaderProbe SUFFIX .dll
  LINK_DEPENDS ${loader_testdata}/loader_probe.map)

add_library(win_loader_undefined SHARED ${loader_testdata}/loader_undefined.cpp)
set_target_properties(win_loader_undefined PROPERTIES PREFIX "" OUTPUT_NAME LoaderUndefined SUFFIX .dll)

add_dependencies(win_tests win_loader_probe win_loader_undefined)
target_compile_definitions(win_tests PRIVATE
  TESSALY_LOADER_PROBE="$<TARGET_FILE:win_loader_probe>"
  TESSALY_LOADER_UNDEFINED="$<TARGET_FILE:win_loader_undefined>")
