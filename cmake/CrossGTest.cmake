# GoogleTest for a cross build: no package exists for the target system, so it
# is built from the sources Debian's libgtest-dev installs. A small config file
# makes every find_package(GTest) of the tree find these targets.
set(KEL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
if(NOT EXISTS ${KEL_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found at ${KEL_GTEST_SOURCE} (libgtest-dev)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${KEL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

set(kel_gtest_config ${CMAKE_BINARY_DIR}/gtest-config)
file(WRITE ${kel_gtest_config}/GTestConfig.cmake
  "if(NOT TARGET GTest::gtest OR NOT TARGET GTest::gtest_main)\n"
  "  set(GTest_FOUND FALSE)\n"
  "  return()\n"
  "endif()\n"
  "set(GTest_FOUND TRUE)\n")
set(GTest_DIR ${kel_gtest_config} CACHE PATH "" FORCE)
