# quorvane_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>] [ENVIRONMENT <k=v...>])
# One QtTest program per class or feature, linked with the shared test support library.
function(quorvane_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE quorvane_test_support Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;QUORVANE_BUILD_DIR=${CMAKE_BINARY_DIR};${T_ENVIRONMENT}"
    TIMEOUT 300)
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
