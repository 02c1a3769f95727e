# What an installation holds besides the programs, and the Debian package.
#
# The installed tree is relative (bin/, lib/quorvane/, libexec/quorvane/,
# share/): the program finds its views library and helpers from its own
# location, so `cmake --install` works to any prefix and the same tree is what
# a release archive holds.

find_program(GZIP_EXECUTABLE gzip REQUIRED)

set(_packaging_dir ${CMAKE_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/data/com.quorvane.Quorvane.metainfo.xml
  ${_packaging_dir}/com.quorvane.Quorvane.metainfo.xml @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/man/quorvane-app.1 ${_packaging_dir}/quorvane-app.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/debian/changelog ${_packaging_dir}/changelog @ONLY)

# Debian wants manual pages and changelogs compressed, reproducibly (-n: no name, no time stamp).
set(_compressed)
foreach(_file quorvane-app.1 changelog)
  add_custom_command(OUTPUT ${_packaging_dir}/${_file}.gz
    COMMAND ${GZIP_EXECUTABLE} -9nfk ${_file}
    WORKING_DIRECTORY ${_packaging_dir}
    DEPENDS ${_packaging_dir}/${_file}
    VERBATIM)
  list(APPEND _compressed ${_packaging_dir}/${_file}.gz)
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${_compressed})

install(FILES ${_packaging_dir}/com.quorvane.Quorvane.metainfo.xml DESTINATION share/metainfo)
install(FILES ${_packaging_dir}/quorvane-app.1.gz DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright ${_packaging_dir}/changelog.gz
  DESTINATION share/doc/quorvane)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/lintian-overrides DESTINATION share/lintian/overrides
  RENAME quorvane)

set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR Quorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorvane <support@quorvane.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "approve or deny the risky actions of your AI tools")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvane.com")
# The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the extended text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "The Quorvane companion lives in the system tray and shows the actions that
 the agents governing your AI tools escalate for a decision. Decisions,
 standing rules and trust windows are signed with a key kept in the
 desktop's credential store.")
# Libraries the programs link come from dpkg-shlibdeps; what Qt loads at run
# time (QML modules, the SVG icon plugins) and the desktop services we call
# are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-templates, qml6-module-qtquick-layouts, qml6-module-qtquick-window, qml6-module-qtqml-workerscript, qml6-module-qtquick-shapes, qml6-module-qtqml-models, libqt6svg6, pkexec, polkitd, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager | keepassxc")
include(CPack)
