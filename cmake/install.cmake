# What `cmake --install` puts under the prefix, and the Debian package that
# `cpack -G DEB` makes of the same files.
include(GNUInstallDirs)

# Every program built; orvanel-merge comes with the farm work.
foreach(program orvanel orvanel-render orvanel-import orvanel-merge)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

file(GLOB ORVANEL_MAN_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.1)
install(FILES ${ORVANEL_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

file(GLOB ORVANEL_SAMPLE_SCENES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/scenes/*.txt)
install(FILES ${ORVANEL_SAMPLE_SCENES} DESTINATION ${CMAKE_INSTALL_DATADIR}/orvanel/scenes)

if(TARGET orvanel)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/orvanel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/orvanel.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
endif()

set(CPACK_PACKAGE_NAME orvanel)
set(CPACK_PACKAGE_VENDOR "Orvanel")
set(CPACK_PACKAGE_CONTACT "Orvanel developers <orvanel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Recursive ray tracer with a Qt viewer, a headless renderer and a model importer")
set(CPACK_PACKAGE_DESCRIPTION "Renders plain-text scenes of spheres, ellipsoids, polygons, boxes and \
cylinders by recursive ray tracing, with soft shadows, Fresnel reflection and refraction and coloured \
absorption. orvanel shows the picture as it renders, orvanel-render writes it to a file, orvanel-import \
turns OBJ, PLY, STL and glTF models into scenes.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Run-time dependencies from the shared libraries the programs load (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
