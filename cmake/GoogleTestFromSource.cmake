# GoogleTest built from Debian's sources (package googletest, /usr/src/googletest)
# with this build's compiler and flags, for targets that cannot link the
# system's prebuilt libgtest (it is 64-bit only).  Included right after
# project() through CMAKE_PROJECT_type471_INCLUDE; find_package(GTest) then
# finds these targets (GTest::gtest, GTest::gtest_main, GTest::gmock) first.
set(PCM_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build the tests against")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${PCM_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake
     "# GoogleTest of this build, from ${PCM_GOOGLETEST_SOURCE_DIR}\nset(GTest_FOUND TRUE)\n")
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config-version.cmake
     "set(PACKAGE_VERSION ${GOOGLETEST_VERSION})\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
target_compile_definitions(gtest PRIVATE GTEST_HAS_STREAM_RESULTS=0)  # no sockets in a static program
