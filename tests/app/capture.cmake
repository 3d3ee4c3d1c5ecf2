# The selection loop, the capture step and the selection and capture
# commands, offscreen on the fake platform with a scripted pointer.
korvex_test(capture_controller_test QT SOURCES CaptureControllerTest.cpp
  LIBS korvex_app korvex_platform_fake Qt6::Test)

# korvex --command against a command server in the test process.
korvex_test(remote_commands_test QT SOURCES RemoteCommandsTest.cpp LIBS korvex_app Qt6::Test)
add_dependencies(remote_commands_test korvex)

# End to end on a private X server: text on the screen, `korvex --command
# select-translate`, a drag with XTest, the overlay over the area and the
# texts at a loopback translation server. KORVEX_SCREENSHOT_DIR, when set,
# receives screenshots of the selection and of the result.
find_package(Threads REQUIRED)
if(NOT TARGET PkgConfig::HTTPLIB)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET GLOBAL cpp-httplib)
endif()
korvex_test(select_translate_x11_test X11 SOURCES SelectTranslateX11Test.cpp
  LIBS korvex_app PkgConfig::HTTPLIB nlohmann_json::nlohmann_json Threads::Threads Qt6::Test)
add_dependencies(select_translate_x11_test korvex)
