# One warning list, the sanitizer switch and the build-folder mapping, applied per target.
function(brindlewick_target_settings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
      -Wold-style-cast -Wcast-align -Woverloaded-virtual
      -Wimplicit-fallthrough)
    # The debug information names the build folder's files (moc, resources) relative to it:
    # the build ID hashes that information, and the same source built in another folder
    # then links to the same bytes.
    target_compile_options(${target} PRIVATE -fdebug-prefix-map=${CMAKE_BINARY_DIR}=.)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      # GCC 12 reports std::optional members as maybe-uninitialized at -O2, and at -O3 a
      # literal put before a std::string as overlapping copies: false alarms.
      target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized -Wno-restrict)
    endif()
    if(BRINDLEWICK_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
    if(WIN32)
      # <windows.h> would otherwise define min and max as macros.
      target_compile_definitions(${target} PRIVATE NOMINMAX)
    endif()
    if(BRINDLEWICK_SANITIZE)
      target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
      target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
  endif()
endfunction()

# A test program: one executable per unit or flow, registered with CTest.
#   brindlewick_add_test(tst_Name SOURCES a.cpp ... LIBS lib ... [LABELS label ...])
# The label `external` marks a program that starts another program's reader of our files
# (LibreOffice, antiword, wvText): slow, and not ours to check under the sanitizers.
function(brindlewick_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/tests)
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE BRINDLEWICK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    BRINDLEWICK_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
  brindlewick_target_settings(${name})
  set(environment QT_QPA_PLATFORM=offscreen)
  if(WIN32)
    # A static Qt links only the platform plugin of the system it is built for; the manifest
    # makes the narrow calls take UTF-8, as in the program.
    qt_import_plugins(${name} INCLUDE Qt6::QOffscreenIntegrationPlugin)
    target_sources(${name} PRIVATE ${BRINDLEWICK_MANIFEST_RC})
  endif()
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    # Wine keeps QT_* variables from the programs it runs and hands WINEQT_* ones on as QT_*.
    # Without a console window QtTest would write to the debugger instead of stderr.
    list(APPEND environment WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}" LABELS "${ARG_LABELS}")
endfunction()
