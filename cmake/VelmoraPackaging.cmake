# Install rules beside the programs' own (bin/): the desktop entry, its icon, the AppStream
# metadata and the user guide; and CPack: a .deb whose dependencies dpkg-shlibdeps computes from the linked
# libraries, and a .tar.gz of the install tree.
set(VELMORA_APP_ID com.vostrel.Velmora)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/${VELMORA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/assets/logo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME velmora.svg)
configure_file(${PROJECT_SOURCE_DIR}/packaging/${VELMORA_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/${VELMORA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${VELMORA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/docs/user-guide.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)

set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configuration tool for the QS48203 DeviceNet / Modbus gateway")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora edits a project's communication settings, DeviceNet node list and Modbus register map, composes the gateway's configuration image and hands it to the updater program. velmora-cli composes and inspects images from the command line.")
set(CPACK_PACKAGE_CONTACT "Velmora maintainers <velmora@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
