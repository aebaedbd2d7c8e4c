# What `cmake --install` puts where: the tool and both stubs in bin/, the
# engine (libkelvane.a and the headers of its layers, which include each
# other as "engine/Kelvane.h") with a CMake package and a pkg-config file,
# the tool's man page and its bash completion, both made from its help.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS kelvane-cli kelvane-sfx-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET kelvane-sfx)
  install(TARGETS kelvane-sfx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(TARGETS kelvane EXPORT KelvaneTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(layer ${KEL_LAYERS})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${layer}/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kelvane/${layer} FILES_MATCHING PATTERN "*.h")
endforeach()

set(kel_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Kelvane)
install(EXPORT KelvaneTargets NAMESPACE Kelvane:: DESTINATION ${kel_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KelvaneConfig.cmake.in
  ${CMAKE_BINARY_DIR}/KelvaneConfig.cmake INSTALL_DESTINATION ${kel_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/KelvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/KelvaneConfig.cmake ${CMAKE_BINARY_DIR}/KelvaneConfigVersion.cmake
  DESTINATION ${kel_cmake_dir})

# Relative to the file itself, so the package may be installed under any prefix.
file(RELATIVE_PATH kel_pc_to_prefix ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig
  ${CMAKE_INSTALL_PREFIX})
if(KELVANE_ISAL)
  set(KEL_PC_ISAL_REQUIRES ", libisal")
  set(KEL_PC_ISAL_LIBS " -lisal")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/kelvane.pc.in ${CMAKE_BINARY_DIR}/kelvane.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/kelvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Made by running the built tool: its help is the one source of both. A
# cross build cannot run its tool, and a man page and bash completion are of
# no use on Windows.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND AND NOT CMAKE_CROSSCOMPILING)
  set(kel_docs ${CMAKE_BINARY_DIR}/docs)
  add_custom_command(OUTPUT ${kel_docs}/kelvane.1 ${kel_docs}/kelvane.bash
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/gen-docs.py
      $<TARGET_FILE:kelvane-cli> ${kel_docs}
    DEPENDS kelvane-cli ${PROJECT_SOURCE_DIR}/scripts/gen-docs.py)
  add_custom_target(kelvane-docs ALL DEPENDS ${kel_docs}/kelvane.1 ${kel_docs}/kelvane.bash)
  install(FILES ${kel_docs}/kelvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${kel_docs}/kelvane.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME kelvane)
endif()
