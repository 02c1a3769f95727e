# The program keeps Qt Quick out of its start-up: the C++ models are linked into
# quorvane-app, the QML modules into libquorvane-views.so, which is loaded the
# first time a window is needed. A model says what QML sees of it in its own
# header (QML_ELEMENT, QML_UNCREATABLE ... from QtQmlIntegration, which links
# nothing); the QML module of its feature registers it without linking it: one
# copy of each class, the program's, exists in the process.

set(_quorvane_views_scripts ${CMAKE_CURRENT_LIST_DIR})

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

# quorvane_add_views(<target> MODELS <model library>... <qt_add_qml_module arguments>...)
# A QML module of QML files (it has no C++ of its own) showing the models of
# its feature: the QML types the model libraries declare are registered in it.
# It sees their headers and links only the shared libraries they need, never
# our static ones; a program linking libquorvane-views.so gets the models.
function(quorvane_add_views views)
  set(arguments ${ARGN})
  list(POP_FRONT arguments keyword)
  if(NOT keyword STREQUAL "MODELS")
    message(FATAL_ERROR "quorvane_add_views(${views} MODELS <model library>... <qt_add_qml_module arguments>...)")
  endif()
  set(models)
  while(arguments)
    list(GET arguments 0 model)
    if(NOT TARGET ${model})
      break()
    endif()
    list(APPEND models ${model})
    list(POP_FRONT arguments)
  endwhile()
  qt_add_library(${views} STATIC)

  # qmltyperegistrar registers the types of the module's own meta-type file:
  # here, the models' files merged. Set before qt_add_qml_module, which then
  # keeps it.
  set(metatypes ${CMAKE_CURRENT_BINARY_DIR}/meta_types/${views}_models_metatypes.json)
  set(inputs)
  foreach(model IN LISTS models)
    qt_extract_metatypes(${model})
    get_target_property(input ${model} INTERFACE_QT_META_TYPES_BUILD_FILE)
    list(APPEND inputs ${input})
    add_dependencies(${views} ${model})
  endforeach()
  add_custom_command(OUTPUT ${metatypes}
    COMMAND ${CMAKE_COMMAND} "-DINPUTS=${inputs}" -DOUTPUT=${metatypes}
            -P ${_quorvane_views_scripts}/MergeMetatypes.cmake
    DEPENDS ${inputs} ${_quorvane_views_scripts}/MergeMetatypes.cmake ${_quorvane_views_scripts}/WriteIfChanged.cmake
    COMMENT "Merging the meta types of the models of ${views}"
    VERBATIM)
  set_source_files_properties(${metatypes} PROPERTIES GENERATED TRUE)
  set_target_properties(${views} PROPERTIES INTERFACE_QT_META_TYPES_BUILD_FILE ${metatypes})
  # Modules importing this one know its types, as with any QML module.
  target_sources(${views} INTERFACE
    "$<BUILD_INTERFACE:$<$<BOOL:$<TARGET_PROPERTY:QT_CONSUMES_METATYPES>>:${metatypes}>>")

  qt_add_qml_module(${views} ${arguments})

  set(libraries ${models})
  foreach(model IN LISTS models)
    # The generated registration includes each model's header by file name.
    target_include_directories(${views} PRIVATE $<TARGET_PROPERTY:${model},SOURCE_DIR>)
    _quorvane_static_dependencies(${model} libraries)
  endforeach()
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
  target_link_libraries(quorvane_views INTERFACE ${models})
  foreach(model IN LISTS models)
    get_target_property(folder ${model} SOURCE_DIR)
    set_property(GLOBAL APPEND PROPERTY QUORVANE_MODEL_FOLDERS ${folder})
  endforeach()
endfunction()

# quorvane_check_qml_types(<folder>)
# After every QML module is defined: fails when a header below `folder`
# declares a QML type that no module registers, that is when its folder has
# neither a model library of a quorvane_add_views module nor a QML module with
# C++ of its own.
function(quorvane_check_qml_types folder)
  get_property(registered GLOBAL PROPERTY QUORVANE_MODEL_FOLDERS)
  file(GLOB_RECURSE headers ${folder}/*.h)
  foreach(header IN LISTS headers)
    file(STRINGS ${header} declarations REGEX "^[ \t]*QML_(ELEMENT|NAMED_ELEMENT|VALUE_TYPE|SINGLETON|ANONYMOUS)")
    get_filename_component(header_folder ${header} DIRECTORY)
    if(NOT declarations OR header_folder IN_LIST registered)
      continue()
    endif()
    if(EXISTS ${header_folder}/CMakeLists.txt)
      get_property(targets DIRECTORY ${header_folder} PROPERTY BUILDSYSTEM_TARGETS)
      foreach(target IN LISTS targets)
        get_target_property(uri ${target} QT_QML_MODULE_URI)
        get_target_property(metatypes ${target} INTERFACE_QT_META_TYPES_BUILD_FILE)
        if(uri AND NOT metatypes MATCHES "_models_metatypes.json$")
          set(declarations "")
        endif()
      endforeach()
    endif()
    if(declarations)
      message(FATAL_ERROR "${header} declares a QML type, but no QML module registers it: "
        "add its library to the MODELS of its feature's quorvane_add_views")
    endif()
  endforeach()
endfunction()

# quorvane_views_imports()
# After libquorvane-views.so is linked: the symbols it takes from the program,
# which are its undefined symbols without a version (every shared library it
# needs versions its own), as the program's link options.
function(quorvane_views_imports)
  set(options ${CMAKE_CURRENT_BINARY_DIR}/views-imports.rsp)
  set(list ${CMAKE_CURRENT_BINARY_DIR}/views-imports.list)
  add_custom_command(OUTPUT ${options} ${list}
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:quorvane_views>
            -DOPTIONS=${options} -DLIST=${list} -P ${_quorvane_views_scripts}/ViewsImports.cmake
    DEPENDS quorvane_views ${_quorvane_views_scripts}/ViewsImports.cmake ${_quorvane_views_scripts}/WriteIfChanged.cmake
    COMMENT "Listing what libquorvane-views.so takes from the program"
    VERBATIM)
  add_custom_target(quorvane_views_imports DEPENDS ${options} ${list})
  set_target_properties(quorvane_views_imports PROPERTIES LINK_OPTIONS_FILE ${options} EXPORT_LIST_FILE ${list})
endfunction()

# quorvane_exports_to_views(<executable>)
# For a program that loads libquorvane-views.so at run time (rather than
# linking it): exports what the library takes from the program, and fails to
# link when the program does not define one of them.
function(quorvane_exports_to_views executable)
  get_target_property(options quorvane_views_imports LINK_OPTIONS_FILE)
  get_target_property(list quorvane_views_imports EXPORT_LIST_FILE)
  target_link_options(${executable} PRIVATE @${options})
  set_property(TARGET ${executable} APPEND PROPERTY LINK_DEPENDS ${options} ${list})
  add_dependencies(${executable} quorvane_views_imports)
endfunction()

# quorvane_link_views(<executable>)
# For tests: links libquorvane-views.so even where no code names it (the
# windows are made through ViewsLibrary), so the models it refers to are linked
# and exported, and the run-time load finds the library already there.
function(quorvane_link_views executable)
  target_link_libraries(${executable} PRIVATE -Wl,--push-state,--no-as-needed quorvane_views -Wl,--pop-state)
endfunction()
