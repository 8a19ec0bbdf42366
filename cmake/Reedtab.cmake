# Build settings shared by every target: warnings, sanitizers, and helpers that say once how a
# module library, a test executable, a benchmark and a fuzz target are made.

add_library(reedtab_options INTERFACE)
add_library(reedtab::options ALIAS reedtab_options)
target_compile_options(reedtab_options INTERFACE -Wall -Wextra -Wpedantic)
if(REEDTAB_WARNINGS_AS_ERRORS)
  target_compile_options(reedtab_options INTERFACE -Werror)
endif()
# The version header every target may include as "reedtab/version.h".
if(PROJECT_VERSION_PATCH EQUAL 0)
  set(REEDTAB_VERSION_SHORT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
else()
  set(REEDTAB_VERSION_SHORT "${PROJECT_VERSION}")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/version.h.in"
               "${PROJECT_BINARY_DIR}/generated/reedtab/version.h" @ONLY)
target_include_directories(reedtab_options INTERFACE "${PROJECT_BINARY_DIR}/generated")
if(ENABLE_SANITIZERS)
  target_compile_options(reedtab_options INTERFACE -fsanitize=address,undefined
                                                   -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(reedtab_options INTERFACE -fsanitize=address,undefined)
endif()
if(REEDTAB_BUILD_FUZZ)
  # Coverage and sanitizers on the libraries too, so the fuzzer sees inside them.
  target_compile_options(reedtab_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                                   -fno-sanitize-recover=undefined
                                                   -fno-omit-frame-pointer)
  target_link_options(reedtab_options INTERFACE -fsanitize=address,undefined)
endif()
if(ENABLE_TSAN)
  target_compile_options(reedtab_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(reedtab_options INTERFACE -fsanitize=thread)
endif()

# reedtab_add_module(NAME SOURCES ... [DEPENDS ...] [PACKAGES ...])
# Makes the static library reedtab_NAME with alias reedtab::NAME; public headers live in
# src/NAME and are included as "NAME/header.h" (include root is src/).
function(reedtab_add_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  add_library(reedtab_${name} STATIC ${ARG_SOURCES})
  add_library(reedtab::${name} ALIAS reedtab_${name})
  target_include_directories(reedtab_${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(reedtab_${name} PUBLIC reedtab::options ${ARG_DEPENDS}
                                        PRIVATE ${ARG_PRIVATE_DEPENDS})
endfunction()

# reedtab_soname(VAR LIBRARY [HINTS dir ...])
# The shared-object name of an installed library, for a module that opens it with dlopen when
# it is first needed rather than linking it: the module takes the headers at build time and the
# library by this name at run time. The name is recorded in the global property
# REEDTAB_RUNTIME_SONAMES, from which the Debian package takes a dependency on the library's
# package (cmake/ReedtabPackage.cmake).
function(reedtab_soname var library)
  cmake_parse_arguments(ARG "" "" "HINTS" ${ARGN})
  string(TOUPPER "REEDTAB_${library}_LIBRARY" cache_name)
  find_library(${cache_name} NAMES ${library} HINTS ${ARG_HINTS} REQUIRED)
  get_filename_component(file "${${cache_name}}" REALPATH)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p "${file}" OUTPUT_VARIABLE headers ERROR_QUIET)
  string(REGEX MATCH "SONAME +([^\n ]+)" match "${headers}")
  if(NOT CMAKE_MATCH_1)
    message(FATAL_ERROR "cannot read the shared-object name of ${file}")
  endif()
  set(${var} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  set_property(GLOBAL APPEND PROPERTY REEDTAB_RUNTIME_SONAMES "${CMAKE_MATCH_1}")
endfunction()

# reedtab_add_test(NAME SOURCES ... [DEPENDS ...] [GUI] [SERIAL] [TIMEOUT seconds] [LABEL label])
# One GoogleTest executable per module; GUI tests run on the offscreen platform, SERIAL ones
# with no other test beside them. The tests are labelled NAME unless LABEL says otherwise.
function(reedtab_add_test name)
  cmake_parse_arguments(ARG "GUI;SERIAL" "TIMEOUT;LABEL" "SOURCES;DEPENDS" ${ARGN})
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(test_${name} ${ARG_SOURCES})
  target_link_libraries(test_${name} PRIVATE reedtab::options ${ARG_DEPENDS} GTest::gtest
                                             GTest::gmock GTest::gtest_main)
  target_compile_definitions(test_${name} PRIVATE
    REEDTAB_CORPUS_DIR="${REEDTAB_CORPUS_DIR}"
    REEDTAB_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    REEDTAB_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # An empty ENVIRONMENT value would swallow the LABELS keyword, so add it only when needed.
  if(NOT ARG_LABEL)
    set(ARG_LABEL ${name})
  endif()
  set(properties LABELS ${ARG_LABEL})
  if(ARG_TIMEOUT)
    list(APPEND properties TIMEOUT ${ARG_TIMEOUT})
  endif()
  if(ARG_SERIAL)
    list(APPEND properties RUN_SERIAL TRUE)
  endif()
  if(ARG_GUI)
    target_sources(test_${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/support/qtenvironment.cpp")
    target_link_libraries(test_${name} PRIVATE Qt6::Widgets)
    list(APPEND properties ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

# reedtab_add_fuzzer(NAME SOURCE [SHARE n] [SEEDS dir ...] DEPENDS ...)
# A libFuzzer target with ASan and UBSan, built into build/fuzz/. scripts/test runs each for
# SHARE sixths of its time scale (default 1), seeded from the SEEDS folders.
function(reedtab_add_fuzzer name source)
  cmake_parse_arguments(ARG "" "SHARE" "SEEDS;DEPENDS" ${ARGN})
  if(NOT ARG_SHARE)
    set(ARG_SHARE 1)
  endif()
  add_executable(fuzz_${name} ${source})
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/fuzz")
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_DEPENDS})
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined
                                              -fno-sanitize-recover=undefined)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  list(JOIN ARG_SEEDS " " seeds)
  file(APPEND "${PROJECT_BINARY_DIR}/fuzz-targets.txt" "fuzz_${name}|${ARG_SHARE}|${seeds}\n")
endfunction()

# Adds every subfolder of DIR that has a CMakeLists.txt, so modules plug in without editing
# a shared list.
function(reedtab_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}"
       "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt")
      if(NOT REEDTAB_BUILD_GUI AND child IN_LIST REEDTAB_GUI_MODULES)
        # A Qt module's Qt-free part, listed among the engine modules as child/part, still builds.
        foreach(module IN LISTS REEDTAB_ENGINE_MODULES)
          if(module MATCHES "^${child}/" AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${module}/CMakeLists.txt")
            add_subdirectory(${module})
          endif()
        endforeach()
        continue()
      endif()
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
