# What `cmake --install` puts where: the two programs (and the PDF helper of the command-line
# one), the example songs, and the desktop files (launcher with the MIDI types it opens,
# AppStream description, the program's icon).
include(GNUInstallDirs)

set(REEDTAB_APP_ID org.reedtab.ReedtabMidi)
set(desktop "${PROJECT_SOURCE_DIR}/resources/desktop")

install(TARGETS reedtab-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET reedtab-cli-pdf)
  install(TARGETS reedtab-cli-pdf RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/reedtab)
endif()
install(FILES examples/oh-susanna.mid examples/saints.mid examples/amazing-grace.kar
        DESTINATION ${CMAKE_INSTALL_DATADIR}/reedtab/examples)
install(FILES LICENSE README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(REEDTAB_BUILD_GUI)
  install(TARGETS reedtab RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES "${desktop}/${REEDTAB_APP_ID}.desktop"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES "${desktop}/${REEDTAB_APP_ID}.metainfo.xml"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES resources/app/reedtab.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${REEDTAB_APP_ID}.svg)
endif()
