# Project-wide build helpers.

# The fuzz build instruments every library the targets reach, so libFuzzer
# sees coverage inside kellib and winport, not only in the harness.
if(NOVARC_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(NOVARC_SANITIZE)
  add_compile_options(-fsanitize=${NOVARC_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${NOVARC_SANITIZE})
endif()

# Our own code builds warning-free; outside code never gets these flags.
# Warnings are errors in the developer presets and CI (NOVARC_WERROR), not
# in a plain build, where a newer compiler's new warning must not stop an
# installation.
option(NOVARC_WERROR "Treat warnings in our own code as errors" OFF)
function(novarc_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${NOVARC_WERROR}>:-Werror>)
endfunction()

# GoogleTest and GoogleMock are most of what every test file compiles (about
# 125,000 lines before a single test), so they are compiled once, into a
# precompiled header that every test program reuses.  The host is itself a
# small test program, so the header is built with exactly the flags the
# tests use (position-independent executables, the same definitions).
function(novarc_test_pch)
  if(TARGET novarc_test_pch)
    return()
  endif()
  add_executable(novarc_test_pch EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/cmake/test_pch.cpp)
  novarc_warnings(novarc_test_pch)
  target_link_libraries(novarc_test_pch PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
  target_precompile_headers(novarc_test_pch PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
endfunction()

# A GoogleTest program registered with CTest.  Each test gets its own
# scratch folder through the fixtures, so tests can run in parallel.  A
# test or a command it runs that names no root falls back to one in the
# build folder, never to the machine's own (/var/lib/novarc when the tests
# run as root).
function(novarc_test target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  novarc_test_pch()
  add_executable(${target} ${ARG_SOURCES})
  novarc_warnings(${target})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_precompile_headers(${target} REUSE_FROM novarc_test_pch)
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300
                       ENVIRONMENT_MODIFICATION
                       "WINPORT_ROOT=set:${CMAKE_BINARY_DIR}/test-fallback-root"
                       ${ARG_PROPERTIES})
endfunction()

# A libFuzzer target; built only in the fuzz preset (clang).  Every one is a
# dependency of `novarc_fuzzers`, which CI builds, so none of them rots.
if(NOVARC_FUZZ)
  add_custom_target(novarc_fuzzers)
endif()
function(novarc_fuzzer target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOVARC_FUZZ)
    add_executable(${target} ${ARG_SOURCES})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${target} PRIVATE ${ARG_LIBS})
    add_dependencies(novarc_fuzzers ${target})
  endif()
endfunction()

# Embeds a version record in a program or component, as a Windows image
# carries its version resource: GetFileVersionInfoA and VerQueryValueA read
# it from the installed file (winport/README.md, "Version records").
#   novarc_version_record(target VERSION 237.859.0.0 [TYPE app|dll]
#                         [DESCRIPTION text] [ORIGINAL_NAME name.exe])
function(novarc_version_record target)
  cmake_parse_arguments(ARG "" "VERSION;TYPE;DESCRIPTION;ORIGINAL_NAME" "" ${ARGN})
  if(NOT ARG_TYPE)
    set(ARG_TYPE app)
  endif()
  if(NOT ARG_DESCRIPTION)
    set(ARG_DESCRIPTION ${target})
  endif()
  if(NOT ARG_ORIGINAL_NAME)
    if(ARG_TYPE STREQUAL "dll")
      set(ARG_ORIGINAL_NAME ${target}.dll)
    else()
      set(ARG_ORIGINAL_NAME ${target}.exe)
    endif()
  endif()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_record.c)
  add_custom_command(OUTPUT ${out}
    COMMAND winport_mkversionrecord ${out} --file-version ${ARG_VERSION} --type ${ARG_TYPE}
            "CompanyName=Novarc" "ProductName=Novarc Workstation Printing"
            "FileDescription=${ARG_DESCRIPTION}" "FileVersion=${ARG_VERSION}"
            "ProductVersion=${ARG_VERSION}" "OriginalFilename=${ARG_ORIGINAL_NAME}"
            "InternalName=${target}"
    DEPENDS winport_mkversionrecord
    COMMENT "Version record of ${target}"
    VERBATIM)
  # A C file in a test program whose header is precompiled for C++ only.
  set_source_files_properties(${out} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
  target_sources(${target} PRIVATE ${out})
endfunction()
