# Included by tests/com/CMakeLists.txt: the in-process server ComProbe.dll
# that the activation tests register and create, and the loader tests'
# LoaderProbe.dll as a module with no DllGetClassObject.
set(activation_testdata ${CMAKE_CURRENT_LIST_DIR})
add_library(com_activation_probe SHARED ${activation_testdata}/activation_probe.cpp)
target_include_directories(com_activation_probe PRIVATE ${PROJECT_SOURCE_DIR}/platform/com/include
  ${PROJECT_SOURCE_DIR}/platform/win/include ${PROJECT_SOURCE_DIR}/tests/support)
target_link_options(com_activation_probe PRIVATE -Wl,--no-undefined
  -Wl,--version-script=${activation_testdata}/activation_probe.map)
set_target_properties(com_activation_probe PROPERTIES PREFIX "" OUTPUT_NAME ComProbe SUFFIX .dll
  LINK_DEPENDS ${activation_testdata}/activation_probe.map)
add_dependencies(com_tests com_activation_probe)
target_compile_definitions(com_tests PRIVATE TESSALY_COM_PROBE="$<TARGET_FILE:com_activation_probe>")
if(TARGET win_loader_probe)
  add_dependencies(com_tests win_loader_probe)
  target_compile_definitions(com_tests PRIVATE TESSALY_LOADER_PROBE="$<TARGET_FILE:win_loader_probe>")
endif()
