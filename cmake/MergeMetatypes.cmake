# cmake -DINPUTS=<meta-type files> -DOUTPUT=<file> -P MergeMetatypes.cmake
# One meta-type file (a JSON array, as moc --collect-json writes) of several.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/WriteIfChanged.cmake)

set(entries "")
foreach(input IN LISTS INPUTS)
  file(READ ${input} text)
  string(REGEX REPLACE "^[ \t\r\n]*\\[(.*)\\][ \t\r\n]*$" "\\1" inner "${text}")
  string(STRIP "${inner}" inner)
  if(inner STREQUAL "")
    continue()
  endif()
  if(NOT entries STREQUAL "")
    string(APPEND entries ",\n")
  endif()
  string(APPEND entries "${inner}")
endforeach()
quorvane_write_if_changed(${OUTPUT} "[\n${entries}\n]\n")
