# The Debian package: `cmake --build build --target package` makes reedtab_VERSION_ARCH.deb
# from what `cmake --install` installs, under /usr. Its dependencies are those dpkg-shlibdeps
# finds in the programs, the General MIDI SoundFont the built-in synthesizer plays with, and the
# packages of the libraries the programs open with dlopen (reedtab_soname).

# The dependency on the package that installs shared object `soname`, with the lowest version
# its shlibs file asks for; the bare package name when it has none.
function(reedtab_soname_dependency soname out)
  find_library(library_${soname} NAMES "${soname}" NO_CACHE REQUIRED)
  execute_process(COMMAND dpkg-query --search "${library_${soname}}"
                  OUTPUT_VARIABLE owner RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "no Debian package installs ${library_${soname}}")
  endif()
  string(REGEX REPLACE "^([^:,]+).*" "\\1" package "${owner}")
  set(dependency "${package}")
  execute_process(COMMAND dpkg-query --control-show "${package}" shlibs
                  OUTPUT_VARIABLE shlibs ERROR_QUIET)
  if(soname MATCHES "^(.+)\\.so\\.(.+)$")
    set(key "${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ")
  elseif(soname MATCHES "^(.+)-([0-9.]+)\\.so$")
    set(key "${CMAKE_MATCH_1}-${CMAKE_MATCH_2} ")
  endif()
  string(REPLACE "\n" ";" lines "${shlibs}")
  foreach(line IN LISTS lines)
    string(FIND "${line}" "${key}" at)
    if(at EQUAL 0)
      string(LENGTH "${key}" length)
      string(SUBSTRING "${line}" ${length} -1 dependency)
      break()
    endif()
  endforeach()
  set(${out} "${dependency}" PARENT_SCOPE)
endfunction()

set(REEDTAB_PACKAGE_DEPENDS "timgm6mb-soundfont | sf2-soundfont-gm")
get_property(runtime_sonames GLOBAL PROPERTY REEDTAB_RUNTIME_SONAMES)
list(REMOVE_DUPLICATES runtime_sonames)
foreach(soname IN LISTS runtime_sonames)
  reedtab_soname_dependency("${soname}" dependency)
  string(APPEND REEDTAB_PACKAGE_DEPENDS ", ${dependency}")
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME reedtab)
set(CPACK_PACKAGE_VENDOR "Reedtab Software")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Reedtab Software <maintainers@reedtab.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "harmonica tablature for MIDI and karaoke songs")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://reedtab.example/midi")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${REEDTAB_PACKAGE_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The long description; the summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Reedtab Midi opens MIDI and karaoke files and shows every note on a
scrolling staff, labelled as diatonic or chromatic harmonica tablature or
as note names. It plays the song on its built-in synthesizer or on any
MIDI port with a cursor that follows the music, loops and slows passages
for practice, edits and prints the tablature and keeps playlists.
.
The command-line tool reedtab-cli reads, edits, prints, renders and plays
the same songs without a window.")
include(CPack)
