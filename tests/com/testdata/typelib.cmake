# The type library tests' own IDL, compiled as the add-in's and the host's are.
set(typelib_test_out ${CMAKE_CURRENT_BINARY_DIR}/typelib_test)
foreach(name typelib_test typelib_events)
  tessaly_widl(IDL ${CMAKE_CURRENT_LIST_DIR}/${name}.idl
    OUTPUT_HEADER ${typelib_test_out}/${name}.h
    OUTPUT_IID ${typelib_test_out}/${name}_i.cpp
    OUTPUT_TLB ${typelib_test_out}/${name}.tlb)
  target_sources(com_tests PRIVATE ${typelib_test_out}/${name}.h ${typelib_test_out}/${name}_i.cpp
    ${typelib_test_out}/${name}.tlb)
endforeach()
target_include_directories(com_tests PRIVATE ${typelib_test_out})
target_compile_definitions(com_tests PRIVATE
  TYPELIB_TEST_TLB="${typelib_test_out}/typelib_test.tlb"
  TYPELIB_EVENTS_TLB="${typelib_test_out}/typelib_events.tlb")
