# Run by ctest: installs the build into PREFIX and checks what arrived.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(id org.reedtab.ReedtabMidi)
foreach(path bin/reedtab bin/reedtab-cli
             share/applications/${id}.desktop share/metainfo/${id}.metainfo.xml
             share/icons/hicolor/scalable/apps/${id}.svg
             share/reedtab/examples/oh-susanna.mid share/reedtab/examples/saints.mid
             share/reedtab/examples/amazing-grace.kar
             share/man/man1/reedtab.1.gz share/man/man1/reedtab-cli.1.gz
             share/bash-completion/completions/reedtab-cli
             share/doc/reedtab/copyright share/doc/reedtab/changelog.gz)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()

set(launcher "${PREFIX}/share/applications/${id}.desktop")
execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${launcher}" RESULT_VARIABLE result
                OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate: ${out}")
endif()
file(READ "${launcher}" entry)
string(FIND "${entry}" "\nMimeType=audio/midi;audio/x-midi;\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the launcher does not open audio/midi and audio/x-midi files")
endif()
if(APPSTREAMCLI)
  execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net
                          "${PREFIX}/share/metainfo/${id}.metainfo.xml"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate: ${out}")
  endif()
endif()

# Both programs say the version the AppStream file lists as the current release.
file(READ "${PREFIX}/share/metainfo/${id}.metainfo.xml" metainfo)
string(REGEX MATCH "<release version=\"([^\"]+)\"" release "${metainfo}")
set(release "${CMAKE_MATCH_1}")
foreach(program reedtab reedtab-cli)
  execute_process(COMMAND "${PREFIX}/bin/${program}" --version OUTPUT_VARIABLE version
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT version STREQUAL "${program} ${release}\n")
    message(FATAL_ERROR "${program} --version said '${version}', the release is '${release}'")
  endif()
endforeach()

# The installed program on an installed example, with settings of its own, which the
# screenshot mode reads but never writes.
set(picture "${PREFIX}/shot.png")
execute_process(COMMAND ${CMAKE_COMMAND} -E env "XDG_CONFIG_HOME=${PREFIX}/config"
                        "${PREFIX}/bin/reedtab" --screenshot "${picture}" --size 640x400
                        "${PREFIX}/share/reedtab/examples/saints.mid"
                RESULT_VARIABLE result ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT EXISTS "${picture}")
  message(FATAL_ERROR "the installed reedtab did not draw its window: ${err}")
endif()
if(EXISTS "${PREFIX}/config/Reedtab Software/Reedtab.conf")
  message(FATAL_ERROR "the screenshot mode wrote a settings file")
endif()
