# The test suites in the cross build (32-bit Windows, run under wine). Every start of a
# program under wine costs a lot when 32-bit code runs emulated, so the suites are not
# programs of their own here: mpx_add_test makes each an object library, and at the end of
# the tests folder they are linked into two programs. mpx_windows_dll_tests holds the suites
# that call the DLLs (modeldb.dll, calibmod.dll); mpx_windows_tests holds the rest. They
# cannot share a program: a suite that compiles an export source in would quietly take the
# place of the DLL's export for every other suite.

# GoogleTest, built from its sources by the cross compiler.
set(MPX_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${MPX_GOOGLETEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(_gtest_target gtest gtest_main gmock)
  if(NOT TARGET GTest::${_gtest_target})
    add_library(GTest::${_gtest_target} ALIAS ${_gtest_target})
  endif()
endforeach()

find_program(MPX_WINE_EXECUTABLE wine)

# Suites a Windows build leaves out, for a suite that does not build there yet (a suite that
# can never run on Windows belongs under if(NOT WIN32) in its own folder).
set(MPX_WINDOWS_SKIPPED_SUITES "" CACHE STRING "Test suites the Windows build leaves out")

# mpx_add_test(<name> SOURCES ... LIBS ...): the suite <name> becomes an object library, so
# that its folder can still add include directories and definitions to it. A source that
# an earlier suite of the same program already holds (a helper two suites share) is
# compiled only once.
function(mpx_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  set(_program mpx_windows_tests)
  foreach(_lib ${T_LIBS})
    if(TARGET ${_lib})
      get_target_property(_type ${_lib} TYPE)
      if(_type STREQUAL "SHARED_LIBRARY")
        set(_program mpx_windows_dll_tests)
      endif()
    endif()
  endforeach()
  get_property(_taken GLOBAL PROPERTY MPX_SOURCES_OF_${_program})
  set(_sources)
  foreach(_source ${T_SOURCES})
    get_filename_component(_path ${_source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    if(NOT _path IN_LIST _taken)
      list(APPEND _sources ${_path})
    endif()
  endforeach()
  if(name IN_LIST MPX_WINDOWS_SKIPPED_SUITES)
    # Still a target, so that its folder's own settings for it apply; just never built.
    add_library(${name} OBJECT EXCLUDE_FROM_ALL ${T_SOURCES})
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY MPX_SOURCES_OF_${_program} ${_sources})
  add_library(${name} OBJECT ${_sources})
  target_link_libraries(${name} PUBLIC ${T_LIBS} GTest::gtest GTest::gmock)
  mpx_target_warnings(${name})
  set_property(GLOBAL APPEND PROPERTY MPX_SUITES_OF_${_program} ${name})
endfunction()

# Tests left out of the wine run. A crash test starts a child process per case, which
# under wine means a new emulated process each; the same tests run in the native build.
set(MPX_WINDOWS_EXCLUDED_TESTS "*.CrashBeforeEachFileOperation/*"
    CACHE STRING "GoogleTest patterns the wine run leaves out (':'-separated)")

# Called at the end of the tests folder, once every suite is known.
function(mpx_windows_test_programs)
  foreach(_program mpx_windows_tests mpx_windows_dll_tests)
    get_property(_suites GLOBAL PROPERTY MPX_SUITES_OF_${_program})
    add_executable(${_program} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/suites_main.cpp)
    target_link_libraries(${_program} PRIVATE ${_suites} GTest::gtest GTest::gmock)
    # Nothing from the cross toolchain's own DLLs: the programs run from the build folder.
    target_link_options(${_program} PRIVATE -static)
    set_target_properties(${_program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${MPX_WINDOWS_BIN_DIR})
    mpx_target_warnings(${_program})
    add_test(NAME ${_program}
             COMMAND ${MPX_WINE_EXECUTABLE} $<TARGET_FILE:${_program}>
                     --gtest_filter=-${MPX_WINDOWS_EXCLUDED_TESTS}
             WORKING_DIRECTORY ${MPX_WINDOWS_BIN_DIR})
    set_tests_properties(${_program} PROPERTIES TIMEOUT 1200 ENVIRONMENT "WINEDEBUG=-all")
  endforeach()
endfunction()
cmake_language(DEFER CALL mpx_windows_test_programs)
