# GoogleTest from Debian's source package, built with our own compiler so the
# same sources serve the native and the mingw-w64 builds.
set(STAVRION_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${STAVRION_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gtest_main gmock)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
include(GoogleTest)

function(stavrion_discover_tests target)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    # Runs under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 NO_PRETTY_VALUES
                         PROPERTIES TIMEOUT 120)
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES TIMEOUT 60)
  endif()
endfunction()
