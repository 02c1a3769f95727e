# An origin compiled into the program must be https, or plain http only for a
# loopback host (a development back-end on this machine): anything else would
# send signed requests and the stream in the clear.
function(quorvane_check_origin name value)
  if(value MATCHES "^https://[^/?#@]+/?$")
    return()
  endif()
  if(value MATCHES "^http://(localhost|127\\.[0-9]+\\.[0-9]+\\.[0-9]+|\\[::1\\])(:[0-9]+)?/?$")
    return()
  endif()
  message(FATAL_ERROR "${name}=${value}: an origin must be https://host, or http:// only for a loopback host")
endfunction()

# Script mode, for the check's own test:
#   cmake -DQUORVANE_API_BASE_URL=... -DQUORVANE_WEB_BASE_URL=... -P CheckOrigins.cmake
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  quorvane_check_origin(QUORVANE_API_BASE_URL "${QUORVANE_API_BASE_URL}")
  quorvane_check_origin(QUORVANE_WEB_BASE_URL "${QUORVANE_WEB_BASE_URL}")
endif()
