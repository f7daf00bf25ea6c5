# What the Windows build installs: the programs, the licence and the README,
# in one folder of their own; and the installer that puts them there:
#   (cd build-windows && cpack -G NSIS64)
# writes build-windows/bc245xlt-<version>-win64-setup.exe.
install(TARGETS bc245xlt bc245xlt-cli RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)

set(CPACK_GENERATOR NSIS64)
set(CPACK_PACKAGE_NAME "BC245XLT Morvane Utility")
set(CPACK_PACKAGE_VENDOR "BC245XLT Morvane Utility authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Backs up and restores the memory of a BC245XLT receiver")
set(CPACK_PACKAGE_FILE_NAME "bc245xlt-${PROJECT_VERSION}-win64-setup")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "BC245XLT Morvane Utility")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "BC245XLT Morvane Utility")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_NSIS_PACKAGE_NAME "BC245XLT Morvane Utility")
set(CPACK_NSIS_DISPLAY_NAME "BC245XLT Morvane Utility")
set(CPACK_NSIS_INSTALLED_ICON_NAME "bc245xlt.exe")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
set(CPACK_NSIS_MENU_LINKS "bc245xlt.exe" "BC245XLT Morvane Utility")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_UNINSTALL_NAME "Uninstall")
set(CPACK_NSIS_URL_INFO_ABOUT "https://bc245xlt-utility.example/")
set(CPACK_NSIS_CONTACT "bc245xlt-utility@users.noreply.example")
# A 64-bit, Unicode installer: the programs are 64-bit, and the 32-bit stub
# would need a 32-bit system layer.
set(CPACK_NSIS_DEFINES "Unicode true\n  Target amd64-unicode")
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
