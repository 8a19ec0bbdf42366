# What `cmake --install` puts where: the two programs (and the PDF helper of the command-line
# one), the example songs, the manual pages, the bash completion of the command-line program,
# the documents of the package, and the desktop files (launcher with the MIME types it opens,
# AppStream description with the release, the program's icon).
include(GNUInstallDirs)
# The documents go where Debian keeps them, named after the package.
set(CMAKE_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/reedtab")

set(REEDTAB_APP_ID org.reedtab.ReedtabMidi)
set(desktop "${PROJECT_SOURCE_DIR}/resources/desktop")
set(generated "${PROJECT_BINARY_DIR}/generated")

install(TARGETS reedtab-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET reedtab-cli-pdf)
  install(TARGETS reedtab-cli-pdf RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/reedtab)
endif()
install(FILES examples/oh-susanna.mid examples/saints.mid examples/amazing-grace.kar
        DESTINATION ${CMAKE_INSTALL_DATADIR}/reedtab/examples)
install(FILES resources/completion/reedtab-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The changelog's date in the form Debian's changelog takes.
execute_process(COMMAND date -u -R -d "${REEDTAB_RELEASE_DATE}"
                OUTPUT_VARIABLE REEDTAB_RELEASE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(packaging/debian/changelog.in "${generated}/changelog" @ONLY)

# Manual pages and the changelog are installed compressed, as Debian keeps them; gzip -n leaves
# out the time, so the same sources give the same files.
find_program(REEDTAB_GZIP gzip REQUIRED)
set(pages reedtab-cli)
if(REEDTAB_BUILD_GUI)
  list(APPEND pages reedtab)
endif()
set(compressed "${generated}/changelog.gz")
add_custom_command(OUTPUT "${generated}/changelog.gz"
                   COMMAND ${REEDTAB_GZIP} -9nf -k "${generated}/changelog"
                   DEPENDS "${generated}/changelog" VERBATIM)
foreach(page IN LISTS pages)
  configure_file(docs/man/${page}.1.in "${generated}/man/${page}.1" @ONLY)
  add_custom_command(OUTPUT "${generated}/man/${page}.1.gz"
                     COMMAND ${REEDTAB_GZIP} -9nf -k "${generated}/man/${page}.1"
                     DEPENDS "${generated}/man/${page}.1" VERBATIM)
  list(APPEND compressed "${generated}/man/${page}.1.gz")
  install(FILES "${generated}/man/${page}.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(reedtab_compressed_docs ALL DEPENDS ${compressed})
install(FILES README.md packaging/debian/copyright "${generated}/changelog.gz"
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(REEDTAB_BUILD_GUI)
  install(TARGETS reedtab RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES "${desktop}/${REEDTAB_APP_ID}.desktop"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file("${desktop}/${REEDTAB_APP_ID}.metainfo.xml.in"
                 "${generated}/${REEDTAB_APP_ID}.metainfo.xml" @ONLY)
  install(FILES "${generated}/${REEDTAB_APP_ID}.metainfo.xml"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES resources/app/reedtab.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${REEDTAB_APP_ID}.svg)
endif()
