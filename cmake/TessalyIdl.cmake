# IDL compilation with widl, as a Windows build compiles IDL with its IDL compiler.
#
#   tessaly_widl(IDL file.idl
#                [OUTPUT_HEADER file.h] [OUTPUT_IID file_i.cpp] [OUTPUT_TLB file.tlb]
#                [INCLUDE_DIRS dir...] [TARGET name])
#
# OUTPUT_HEADER is the C++ header with the interfaces (widl -h), OUTPUT_IID the
# definitions of the IID_/CLSID_/LIBID_ constants (widl -u, compiled as C++;
# add it to exactly one target), OUTPUT_TLB the binary type library
# (widl -t --win64). Relative outputs go to the current binary folder. The IDL
# may import "oaidl.idl" (IUnknown, IDispatch and their types, from
# platform/com/idl) and use importlib("stdole2.tlb"), which is built once
# before any library that needs it. TARGET makes a custom target that builds
# all the outputs, for consumers such as the resource compiler.
#
#   tessaly_embed_stdole2(target)
#
# Compiles our stdole2.tlb into `target` (the COM library), where imported
# IUnknown and IDispatch references resolve, as the system's own stdole2.tlb
# is always there on Windows.
#
# Run as a script (cmake -DTLB=... -DOUT=... -DSYMBOL=... -P TessalyIdl.cmake)
# this file writes a C++ source holding the bytes of TLB.

if(CMAKE_SCRIPT_MODE_FILE)
  file(READ "${TLB}" hex HEX)
  string(LENGTH "${hex}" n)
  math(EXPR size "${n} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
  file(WRITE "${OUT}.tmp"
    "// Generated from ${TLB}; do not edit.\n#include <cstddef>\n"
    "namespace stand_in {\nextern const unsigned char ${SYMBOL}[] = {\n${bytes}\n};\n"
    "extern const size_t ${SYMBOL}_size = ${size};\n}  // namespace stand_in\n")
  file(RENAME "${OUT}.tmp" "${OUT}")
  return()
endif()

find_program(TESSALY_WIDL x86_64-w64-mingw32-widl)
if(NOT TESSALY_WIDL)
  message(FATAL_ERROR "x86_64-w64-mingw32-widl not found: install Debian's mingw-w64-tools (scripts/deps.sh)")
endif()

set(TESSALY_IDL_DIR ${CMAKE_CURRENT_LIST_DIR}/../platform/com/idl)
get_filename_component(TESSALY_IDL_DIR ${TESSALY_IDL_DIR} ABSOLUTE)
set(TESSALY_IDL_BINARY_DIR ${CMAKE_BINARY_DIR}/idl)
set(TESSALY_STDOLE2_TLB ${TESSALY_IDL_BINARY_DIR}/stdole2.tlb)
file(GLOB TESSALY_IDL_BASE_FILES CONFIGURE_DEPENDS ${TESSALY_IDL_DIR}/*.idl)

file(MAKE_DIRECTORY ${TESSALY_IDL_BINARY_DIR})
add_custom_command(OUTPUT ${TESSALY_STDOLE2_TLB}
  COMMAND ${TESSALY_WIDL} -I ${TESSALY_IDL_DIR} -t --win64 -o ${TESSALY_STDOLE2_TLB} ${TESSALY_IDL_DIR}/stdole2.idl
  DEPENDS ${TESSALY_IDL_BASE_FILES}
  COMMENT "widl: stdole2.tlb"
  VERBATIM)
add_custom_target(tessaly_stdole2 DEPENDS ${TESSALY_STDOLE2_TLB})

function(tessaly_widl)
  cmake_parse_arguments(W "" "IDL;OUTPUT_HEADER;OUTPUT_IID;OUTPUT_TLB;TARGET" "INCLUDE_DIRS" ${ARGN})
  if(NOT W_IDL)
    message(FATAL_ERROR "tessaly_widl needs IDL")
  endif()
  if(NOT W_OUTPUT_HEADER AND NOT W_OUTPUT_IID AND NOT W_OUTPUT_TLB)
    message(FATAL_ERROR "tessaly_widl: ${W_IDL}: no output asked for")
  endif()
  get_filename_component(idl ${W_IDL} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(idl_dir ${idl} DIRECTORY)
  set(flags -I ${idl_dir} -I ${TESSALY_IDL_DIR} -L ${TESSALY_IDL_BINARY_DIR} --win64)
  foreach(dir IN LISTS W_INCLUDE_DIRS)
    get_filename_component(dir ${dir} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND flags -I ${dir})
  endforeach()
  set(depends ${idl} ${TESSALY_IDL_BASE_FILES} ${TESSALY_STDOLE2_TLB} tessaly_stdole2)
  set(outputs)
  foreach(kind HEADER IID TLB)
    if(NOT W_OUTPUT_${kind})
      continue()
    endif()
    get_filename_component(out ${W_OUTPUT_${kind}} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
    get_filename_component(out_dir ${out} DIRECTORY)
    file(MAKE_DIRECTORY ${out_dir})
    if(kind STREQUAL "HEADER")
      set(mode -h)
    elseif(kind STREQUAL "IID")
      set(mode -u)
      # widl writes C; our platform headers are C++.
      set_source_files_properties(${out} PROPERTIES LANGUAGE CXX)
    else()
      set(mode -t)
    endif()
    get_filename_component(out_name ${out} NAME)
    add_custom_command(OUTPUT ${out}
      COMMAND ${TESSALY_WIDL} ${flags} ${mode} -o ${out} ${idl}
      DEPENDS ${depends}
      COMMENT "widl ${mode}: ${out_name}"
      VERBATIM)
    list(APPEND outputs ${out})
  endforeach()
  if(W_TARGET)
    add_custom_target(${W_TARGET} DEPENDS ${outputs})
  endif()
endfunction()

function(tessaly_embed_stdole2 target)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/stdole2_tlb.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DTLB=${TESSALY_STDOLE2_TLB} -DOUT=${out} -DSYMBOL=kStdole2Tlb
            -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    DEPENDS ${TESSALY_STDOLE2_TLB} tessaly_stdole2 ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    COMMENT "embedding stdole2.tlb"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
