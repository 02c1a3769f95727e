# quorvane_write_if_changed(<file> <content>)
# Leaves a file that already holds `content` untouched, so that what depends
# on it is not built again.
function(quorvane_write_if_changed file content)
  if(EXISTS ${file})
    file(READ ${file} current)
    if(current STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE ${file} "${content}")
endfunction()
