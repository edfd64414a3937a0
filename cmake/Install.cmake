# What `cmake --install` and the Debian package put where: the program, which carries its
# template and window icon inside, and the files through which the desktop menu finds it.
include(GNUInstallDirs)

set(BRINDLEWICK_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/brindlewick)

# Debian wants manual pages and changelogs compressed at the highest level, with no name or
# time stamp in the header, so that the same source gives the same bytes.
#   brindlewick_install_gzipped(SOURCE NAME DESTINATION): SOURCE with its @VARIABLES@ filled
#   in, installed as DESTINATION/NAME.gz
function(brindlewick_install_gzipped source name destination)
  set(dir ${PROJECT_BINARY_DIR}/installed-docs)
  configure_file(${source} ${dir}/${name} @ONLY)
  execute_process(COMMAND gzip -9nkf ${name} WORKING_DIRECTORY ${dir} COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${dir}/${name}.gz DESTINATION ${destination})
endfunction()

install(TARGETS brindlewick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(install_resources ${PROJECT_SOURCE_DIR}/resources)
install(FILES ${install_resources}/desktop/${BRINDLEWICK_DESKTOP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${install_resources}/desktop/${BRINDLEWICK_DESKTOP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# icon.png, the embedded window icon, doubles as the 256-pixel size.
set(install_icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${install_resources}/icon.svg
        DESTINATION ${install_icons}/scalable/apps RENAME ${BRINDLEWICK_DESKTOP_ID}.svg)
install(FILES ${install_resources}/icon.png
        DESTINATION ${install_icons}/256x256/apps RENAME ${BRINDLEWICK_DESKTOP_ID}.png)
foreach(install_size 16 32 48 64 128)
  install(FILES ${install_resources}/icons/${install_size}.png
          DESTINATION ${install_icons}/${install_size}x${install_size}/apps
          RENAME ${BRINDLEWICK_DESKTOP_ID}.png)
endforeach()

brindlewick_install_gzipped(${install_resources}/man/brindlewick.1 brindlewick.1
                            ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${install_resources}/debian/copyright DESTINATION ${BRINDLEWICK_DOC_DIR})
install(FILES ${install_resources}/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME brindlewick)
