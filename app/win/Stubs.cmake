# The Windows stubs: kelvane-sfx.exe (a window program) and kelvane-sfx-cli.exe
# (console). Both are linked statically (the toolchain's flags) and import only
# system DLLs that cannot be planted next to them: KnownDLLs, and common
# controls 6 through the manifest. Included from app/CMakeLists.txt.
enable_language(RC)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/win/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version.rc
               @ONLY)

# The objects come without their targets' link interface: the platform's
# definitions (UNICODE, NOMINMAX, the Windows version) are taken by hand.
set(kel_win_definitions $<TARGET_PROPERTY:kel_platform,INTERFACE_COMPILE_DEFINITIONS>)

# bcrypt.dll (random bytes) is no KnownDLL: the stubs import it delayed, so
# it is loaded on first use, after the search has been limited to System32.
find_program(KEL_DLLTOOL NAMES ${KEL_MINGW_PREFIX}-dlltool x86_64-w64-mingw32-dlltool REQUIRED)
set(kel_bcrypt_delay ${CMAKE_CURRENT_BINARY_DIR}/libbcrypt_delay.a)
add_custom_command(OUTPUT ${kel_bcrypt_delay}
  COMMAND ${KEL_DLLTOOL} --input-def ${CMAKE_CURRENT_SOURCE_DIR}/win/system/bcrypt.def
          --dllname bcrypt.dll --output-delaylib ${kel_bcrypt_delay}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win/system/bcrypt.def)
add_custom_target(kel_bcrypt_delay_lib DEPENDS ${kel_bcrypt_delay})
set(kel_win_system_libs ${kel_bcrypt_delay} delayimp)

add_executable(kelvane-sfx-cli main/win/StubCliMain.cpp win/kelvane-sfx-cli.rc ${kel_stub_objects})
target_include_directories(kelvane-sfx-cli PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
target_compile_definitions(kelvane-sfx-cli PRIVATE ${kel_win_definitions})
target_link_libraries(kelvane-sfx-cli PRIVATE ${KEL_ZLIB_STATIC} Threads::Threads shell32
                      ${kel_win_system_libs})
add_dependencies(kelvane-sfx-cli kel_bcrypt_delay_lib)
target_link_options(kelvane-sfx-cli PRIVATE -static ${kel_stub_link_options}
                    ${KEL_PROGRAM_LINK_OPTIONS})

file(GLOB win_view_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win/*.cpp)
add_executable(kelvane-sfx WIN32 main/win/StubGuiMain.cpp ${win_view_srcs} win/kelvane-sfx.rc
                                 ${kel_stub_objects})
target_include_directories(kelvane-sfx PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
target_compile_definitions(kelvane-sfx PRIVATE ${kel_win_definitions})
target_link_libraries(kelvane-sfx PRIVATE ${KEL_ZLIB_STATIC} Threads::Threads comctl32 ole32
                      shell32 uuid ${kel_win_system_libs})
add_dependencies(kelvane-sfx kel_bcrypt_delay_lib)
target_link_options(kelvane-sfx PRIVATE -static ${kel_stub_link_options} ${KEL_PROGRAM_LINK_OPTIONS})

if(KELVANE_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  # The dialog's logic and the Windows side of the app, run under wine (the
  # toolchain's emulator). The Linux test_app's other files start the stubs
  # as POSIX processes; the Windows stubs are run by the scripts below.
  add_executable(test_app
    ${PROJECT_SOURCE_DIR}/tests/app/Form1Test.cpp ${PROJECT_SOURCE_DIR}/tests/app/SFXArchiverTest.cpp
    ${PROJECT_SOURCE_DIR}/tests/app/SFXArgsTest.cpp
    ${PROJECT_SOURCE_DIR}/tests/app/TerminalProgressTest.cpp
    ${PROJECT_SOURCE_DIR}/tests/app/win/ZoneMarkTest.cpp)
  target_link_libraries(test_app PRIVATE kel_app kel_engine kel_container kel_coding
    kel_deflate_zlib kel_names kel_platform GTest::gtest GTest::gtest_main)
  target_include_directories(test_app PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_options(test_app PRIVATE ${KEL_TEST_LINK_OPTIONS})
  gtest_discover_tests(test_app DISCOVERY_MODE PRE_TEST)

  set(kel_win_tests ${PROJECT_SOURCE_DIR}/tests/app/win)
  # What the stubs import, and how they are marked (subsystem, manifest).
  add_test(NAME SFXWin.ImportsOnlySystemDlls
    COMMAND ${kel_win_tests}/imports_test.sh $<TARGET_FILE:kelvane-sfx>
            $<TARGET_FILE:kelvane-sfx-cli>)
  find_program(KEL_WINE NAMES wine64 wine)
  if(KEL_WINE)
    # The console stub end to end under wine: batch extraction, listing,
    # testing, the zone mark, a signed stub (read by kelvane.exe too).
    set(kel_win_tool "")
    if(TARGET kelvane-cli)
      set(kel_win_tool $<TARGET_FILE:kelvane-cli>)
    endif()
    add_test(NAME SFXWin.ConsoleStub
      COMMAND ${kel_win_tests}/console_stub_test.sh $<TARGET_FILE:kelvane-sfx-cli>
              $<TARGET_FILE:kelvane-sfx> "${kel_win_tool}")
    # One wine session at a time: a program started without a display while
    # the window test's display is in use can keep the window from appearing.
    set_tests_properties(SFXWin.ConsoleStub PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine)
    # The window under Xvfb; its screenshots stay under the build directory.
    find_program(KEL_XVFB_RUN xvfb-run)
    find_program(KEL_XDOTOOL xdotool)
    find_program(KEL_XWD xwd)
    if(KEL_XVFB_RUN AND KEL_XDOTOOL AND KEL_XWD)
      add_test(NAME SFXWin.WindowOpensAndAnswers
        COMMAND ${kel_win_tests}/window_test.sh $<TARGET_FILE:kelvane-sfx>
                ${CMAKE_BINARY_DIR}/artifacts/sfx-window-win)
      # Alone: under a loaded machine wine may not show the window in time.
      set_tests_properties(SFXWin.WindowOpensAndAnswers PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
    endif()
  endif()
endif()
