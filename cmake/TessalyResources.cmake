# Resource scripts compiled as a Windows build compiles them, and embedded in
# the module that carries them.
#
#   tessaly_add_resources(TARGET target RC file.rc [DEPENDS file...] [INCLUDES dir...])
#
# The resource compiler x86_64-w64-mingw32-windres, with the system's C
# preprocessor, turns RC into a standard .res file (the folder of RC,
# platform/win/include and INCLUDES are searched for #include). The .res
# bytes go into a generated source of TARGET, in its ELF section ".rsrc",
# and are registered at static initialisation with platform/win against the
# module that contains them (the executable or the shared object TARGET
# links into). DEPENDS lists the files the script pulls in that are not
# headers (bitmaps, .rgs scripts, type libraries); headers are tracked by the
# preprocessor. An OBJECT library TARGET carries the resources into whatever
# links it directly.
find_program(TESSALY_WINDRES x86_64-w64-mingw32-windres)
find_program(TESSALY_RC_CPP cpp)
if(NOT TESSALY_WINDRES OR NOT TESSALY_RC_CPP)
  message(FATAL_ERROR "The resource compiler x86_64-w64-mingw32-windres (Debian package binutils-mingw-w64-x86-64) "
                      "and the C preprocessor cpp are needed to build the resources")
endif()

set(TESSALY_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/TessalyEmbedRes.cmake)

function(tessaly_add_resources)
  cmake_parse_arguments(R "" "TARGET;RC" "DEPENDS;INCLUDES" ${ARGN})
  if(NOT R_TARGET OR NOT R_RC)
    message(FATAL_ERROR "tessaly_add_resources needs TARGET and RC")
  endif()
  get_filename_component(rc ${R_RC} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(rc_dir ${rc} DIRECTORY)
  get_filename_component(rc_name ${rc} NAME_WE)
  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/${R_TARGET}_resources)
  set(res ${out_dir}/${rc_name}.res)
  set(cpp ${out_dir}/${rc_name}_res.cpp)
  set(dep ${out_dir}/${rc_name}.res.d)

  set(includes -I${rc_dir} -I${PROJECT_SOURCE_DIR}/platform/win/include)
  foreach(dir IN LISTS R_INCLUDES)
    get_filename_component(dir ${dir} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND includes -I${dir})
  endforeach()
  set(depends)
  foreach(file IN LISTS R_DEPENDS)
    get_filename_component(file ${file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND depends ${file})
  endforeach()

  # The script's folder is the working directory, so that the files it names
  # (bitmaps, scripts) are found as rc.exe finds them.
  add_custom_command(
    OUTPUT ${res}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${TESSALY_WINDRES} --preprocessor=${TESSALY_RC_CPP}
            --preprocessor-arg=-MD --preprocessor-arg=-MF --preprocessor-arg=${dep}
            --preprocessor-arg=-MT --preprocessor-arg=${res}
            ${includes} -O res -i ${rc} -o ${res}
    WORKING_DIRECTORY ${rc_dir}
    DEPENDS ${rc} ${depends}
    DEPFILE ${dep}
    COMMENT "Compiling resources ${R_RC}"
    VERBATIM)
  add_custom_command(
    OUTPUT ${cpp}
    COMMAND ${CMAKE_COMMAND} -DRES=${res} -DOUT=${cpp} -P ${TESSALY_EMBED_SCRIPT}
    DEPENDS ${res} ${TESSALY_EMBED_SCRIPT}
    COMMENT "Embedding resources ${rc_name}.res"
    VERBATIM)
  target_sources(${R_TARGET} PRIVATE ${cpp})
  target_link_libraries(${R_TARGET} PRIVATE win)
endfunction()
