# cmake -DNM=<nm> -DLIBRARY=<libquorvane-views.so> -DOPTIONS=<file> -DLIST=<file> -P ViewsImports.cmake
# What the views library takes from the program that loads it: its undefined
# symbols that none of the shared libraries it needs defines. LIST is the
# program's dynamic list; OPTIONS, its link options, export them and fail the
# link when the program does not define one.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/WriteIfChanged.cmake)

function(symbols out)
  execute_process(COMMAND ${NM} --dynamic ${ARGN} OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${NM} could not read ${ARGN}")
  endif()
  string(REGEX REPLACE "@[^\n]*" "" listing "${listing}")
  set(${out} "${listing}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ldd ${LIBRARY} OUTPUT_VARIABLE needed RESULT_VARIABLE failed)
string(REGEX MATCHALL "=> /[^ \n]+" needed "${needed}")
list(TRANSFORM needed REPLACE "^=> " "")
symbols(defined --defined-only ${needed})
string(REGEX REPLACE "(^|\n)[^\n]* [A-Za-z] " "\\1" defined "\n${defined}")
symbols(undefined --undefined-only ${LIBRARY})
string(REGEX MATCHALL " U [^\n]+" undefined "${undefined}")

set(exported "")
set(options "-Wl,--dynamic-list=${LIST}\n")
foreach(symbol IN LISTS undefined)
  string(SUBSTRING "${symbol}" 3 -1 symbol)
  string(FIND "${defined}" "\n${symbol}\n" found)
  if(found EQUAL -1)
    string(APPEND exported "  ${symbol};\n")
    string(APPEND options "-Wl,--require-defined=${symbol}\n")
  endif()
endforeach()
quorvane_write_if_changed(${LIST} "{\n${exported}};\n")
quorvane_write_if_changed(${OPTIONS} "${options}")
