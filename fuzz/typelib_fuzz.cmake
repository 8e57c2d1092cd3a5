# The binary type-library reader, seeded with libraries widl compiles here.
set(typelib_seeds ${CMAKE_CURRENT_BINARY_DIR}/typelib_seeds)
foreach(name typelib_test typelib_events)
  tessaly_widl(IDL ${PROJECT_SOURCE_DIR}/tests/com/testdata/${name}.idl OUTPUT_TLB ${typelib_seeds}/${name}.tlb)
  list(APPEND typelib_seed_files ${typelib_seeds}/${name}.tlb)
endforeach()
add_custom_target(typelib_fuzz_seeds DEPENDS ${typelib_seed_files})
tessaly_fuzz_target(NAME typelib_fuzz SOURCES typelib_fuzz.cpp INSTRUMENT com
  SEEDS ${typelib_seeds} ${TESSALY_STDOLE2_TLB} SEEDS_PATTERN "*.tlb" ARGS -max_len=16384)
add_dependencies(typelib_fuzz typelib_fuzz_seeds tessaly_stdole2)
