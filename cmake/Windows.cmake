# The program as a Windows program: a GUI executable (no console window) that carries an
# application manifest, the icon and a version resource made from the product's facts. The
# installer and the portable archive are made by tools/build-windows.sh.
enable_language(RC)

set(BRINDLEWICK_WINDOWS_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0)
string(REPLACE "." "," BRINDLEWICK_WINDOWS_VERSION_COMMAS ${BRINDLEWICK_WINDOWS_VERSION})
set(windows_resources ${PROJECT_SOURCE_DIR}/resources/windows)
set(BRINDLEWICK_MANIFEST ${PROJECT_BINARY_DIR}/windows/brindlewick.manifest)
# The manifest alone: brindlewick_add_test gives it to every test program.
set(BRINDLEWICK_MANIFEST_RC ${PROJECT_BINARY_DIR}/windows/manifest.rc)
set(program_rc ${PROJECT_BINARY_DIR}/windows/brindlewick.rc)
configure_file(${windows_resources}/brindlewick.manifest.in ${BRINDLEWICK_MANIFEST} @ONLY)
configure_file(${windows_resources}/manifest.rc.in ${BRINDLEWICK_MANIFEST_RC} @ONLY)
configure_file(${windows_resources}/brindlewick.rc.in ${program_rc} @ONLY)
# windres reports no dependencies of its own.
set_source_files_properties(${BRINDLEWICK_MANIFEST_RC} PROPERTIES OBJECT_DEPENDS ${BRINDLEWICK_MANIFEST})
set_source_files_properties(${program_rc} PROPERTIES
  OBJECT_DEPENDS "${BRINDLEWICK_MANIFEST};${BRINDLEWICK_MANIFEST_RC};${PROJECT_SOURCE_DIR}/resources/icon.ico")
target_sources(brindlewick PRIVATE ${program_rc})
set_target_properties(brindlewick PROPERTIES WIN32_EXECUTABLE ON)
# A static Qt links only the windows platform plugin by itself; the tests run the command line on
# the offscreen one.
qt_import_plugins(brindlewick INCLUDE Qt6::QOffscreenIntegrationPlugin)

# brindlewick-<version>-setup.exe (NSIS) and brindlewick-<version>-windows.zip, the program
# alone, both of the stripped executable: cmake --build DIR --target windows-packages
find_program(BRINDLEWICK_MAKENSIS makensis)
if(BRINDLEWICK_MAKENSIS)
  set(package_dir ${PROJECT_BINARY_DIR}/windows/package)
  set(BRINDLEWICK_PACKED_EXE ${package_dir}/brindlewick.exe)
  set(BRINDLEWICK_SETUP ${PROJECT_BINARY_DIR}/brindlewick-${PROJECT_VERSION}-setup.exe)
  set(windows_zip ${PROJECT_BINARY_DIR}/brindlewick-${PROJECT_VERSION}-windows.zip)
  configure_file(${windows_resources}/installer.nsi.in ${PROJECT_BINARY_DIR}/windows/installer.nsi @ONLY)
  add_custom_command(OUTPUT ${BRINDLEWICK_PACKED_EXE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${package_dir}
    COMMAND ${CMAKE_STRIP} -o ${BRINDLEWICK_PACKED_EXE} $<TARGET_FILE:brindlewick>
    DEPENDS brindlewick VERBATIM)
  add_custom_command(OUTPUT ${BRINDLEWICK_SETUP}
    COMMAND ${BRINDLEWICK_MAKENSIS} -V2 ${PROJECT_BINARY_DIR}/windows/installer.nsi
    DEPENDS ${BRINDLEWICK_PACKED_EXE} ${PROJECT_BINARY_DIR}/windows/installer.nsi ${PROJECT_SOURCE_DIR}/resources/icon.ico
    VERBATIM)
  add_custom_command(OUTPUT ${windows_zip}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${windows_zip} --format=zip brindlewick.exe
    WORKING_DIRECTORY ${package_dir} DEPENDS ${BRINDLEWICK_PACKED_EXE} VERBATIM)
  add_custom_target(windows-packages DEPENDS ${BRINDLEWICK_SETUP} ${windows_zip})
endif()
