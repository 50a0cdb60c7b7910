# System libraries the program needs only after its window shows (the network, GDI+, the
# alpha blend, sockets' clean-up): each DLL is loaded at the first call of one of its functions
# instead of before the program starts, which under Wine takes about a fifth of the start-up.
#
# piclade_system_libraries(<variable> <name>...) sets <variable> to what a target links for
# those import libraries: delay-import libraries made here with the toolchain's dlltool from the
# names each import library exports, or the names themselves where that cannot be done (32-bit
# x86, whose decorated names dlltool would have to undo; compilers other than GCC; no dlltool).
# Only DLLs that every Windows 10 and 11 has are delay-loaded: a DLL that cannot be loaded
# raises an exception at the first call instead of stopping the start.

set(PICLADE_DELAY_LOAD_DEFAULT OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_SIZEOF_VOID_P EQUAL 8 AND CMAKE_DLLTOOL AND CMAKE_NM)
  set(PICLADE_DELAY_LOAD_DEFAULT ON)
endif()
option(PICLADE_DELAY_LOAD "Load the network, GDI+ and socket DLLs at their first use" ${PICLADE_DELAY_LOAD_DEFAULT})

function(piclade_system_libraries variable)
  set(libraries)
  foreach(name ${ARGN})
    if(NOT PICLADE_DELAY_LOAD)
      list(APPEND libraries ${name})
      continue()
    endif()
    set(delay_library ${CMAKE_BINARY_DIR}/delay-import/lib${name}_delay.a)
    if(NOT EXISTS ${delay_library})
      find_library(PICLADE_IMPORT_${name} ${name} REQUIRED)
      execute_process(COMMAND ${CMAKE_NM} ${PICLADE_IMPORT_${name}} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
      # Every function the import library offers: "__imp_Name" is the pointer a call goes through.
      string(REGEX MATCHALL " I __imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
      list(TRANSFORM imports REPLACE " I __imp_" "")
      list(REMOVE_DUPLICATES imports)
      list(SORT imports)
      list(JOIN imports "\n" exports)
      file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/delay-import)
      file(WRITE ${CMAKE_BINARY_DIR}/delay-import/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
      execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${CMAKE_BINARY_DIR}/delay-import/${name}.def
                              --output-delaylib ${delay_library} --dllname ${name}.dll
                      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/delay-import COMMAND_ERROR_IS_FATAL ANY)
    endif()
    list(APPEND libraries ${delay_library})
  endforeach()
  set(${variable} ${libraries} PARENT_SCOPE)
endfunction()
