# The program keeps Qt Quick out of its start-up: the C++ models are linked into
# quorvane-app, the QML modules into libquorvane-views.so, which is loaded the
# first time a window is needed. A QML module still has to see its models'
# headers and QML type information, but must not link their static libraries:
# one copy of each class, the program's, must exist in the process.

# Our own static libraries (quorvane_*) reached from `target`, depth first.
function(_quorvane_static_dependencies target out)
  set(found ${${out}})
  get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
  foreach(link IN LISTS links)
    if(link MATCHES "^quorvane_" AND TARGET ${link} AND NOT link IN_LIST found)
      list(APPEND found ${link})
      _quorvane_static_dependencies(${link} found)
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# quorvane_views_of(<qml module target> <model library>...)
# Gives the QML module the headers, definitions and QML type information of the
# model libraries (register them with QML_FOREIGN), and links only the shared
# libraries they need, never our static ones.
function(quorvane_views_of views)
  foreach(model IN LISTS ARGN)
    get_target_property(metatypes ${model} INTERFACE_QT_META_TYPES_BUILD_FILE)
    if(NOT metatypes)
      qt_extract_metatypes(${model})
      get_target_property(metatypes ${model} INTERFACE_QT_META_TYPES_BUILD_FILE)
    endif()
    target_sources(${views} PRIVATE ${metatypes})
    set_source_files_properties(${metatypes} PROPERTIES GENERATED TRUE)
    add_dependencies(${views} ${model})

    set(libraries ${model})
    _quorvane_static_dependencies(${model} libraries)
    foreach(library IN LISTS libraries)
      target_include_directories(${views} PRIVATE $<TARGET_PROPERTY:${library},INTERFACE_INCLUDE_DIRECTORIES>)
      target_compile_definitions(${views} PRIVATE $<TARGET_PROPERTY:${library},INTERFACE_COMPILE_DEFINITIONS>)
      get_target_property(links ${library} INTERFACE_LINK_LIBRARIES)
      foreach(link IN LISTS links)
        if(NOT link MATCHES "^quorvane_" AND NOT link MATCHES "^\\$<" AND TARGET ${link})
          target_link_libraries(${views} PUBLIC ${link})
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

# quorvane_exports_to_views(<executable>)
# For a program that loads libquorvane-views.so at run time (rather than
# linking it): exports what the library takes from the program.
function(quorvane_exports_to_views executable)
  set(list ${PROJECT_SOURCE_DIR}/app/views/exported-symbols.list)
  target_link_options(${executable} PRIVATE -Wl,--dynamic-list=${list})
  set_property(TARGET ${executable} APPEND PROPERTY LINK_DEPENDS ${list})
  add_dependencies(${executable} quorvane_views)
endfunction()

# quorvane_link_views(<executable>)
# For tests: links libquorvane-views.so even where no code names it (the
# windows are made through ViewsLibrary), so the models it refers to are linked
# and exported, and the run-time load finds the library already there.
function(quorvane_link_views executable)
  target_link_libraries(${executable} PRIVATE -Wl,--push-state,--no-as-needed quorvane_views -Wl,--pop-state)
endfunction()
