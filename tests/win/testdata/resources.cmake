# Included by tests/win/CMakeLists.txt (custom commands work for targets of
# their own folder). The test program carries test.rc; a module of its own,
# TessalyProbe.dll, carries the add-in's resources, so that the tests see
# resources of a shared object, loaded and read as a data file.
set(win_testdata ${CMAKE_CURRENT_LIST_DIR})
tessaly_add_resources(TARGET win_tests RC ${win_testdata}/test.rc
  DEPENDS ${win_testdata}/rgb24.bmp ${win_testdata}/rgb24_topdown.bmp ${win_testdata}/rgb32.bmp
          ${win_testdata}/pal4.bmp ${win_testdata}/pal8.bmp ${win_testdata}/rgb16.bmp)

add_library(win_res_probe SHARED $<TARGET_OBJECTS:tessaly_res>)
target_link_libraries(win_res_probe PRIVATE win)
set_target_properties(win_res_probe PROPERTIES PREFIX "" OUTPUT_NAME TessalyProbe SUFFIX .dll)
add_dependencies(win_tests win_res_probe)
target_compile_definitions(win_tests PRIVATE
  TESSALY_WIN_TESTDATA="${win_testdata}" TESSALY_RES_PROBE="$<TARGET_FILE:win_res_probe>")
target_include_directories(win_tests PRIVATE ${PROJECT_SOURCE_DIR}/res ${win_testdata})
