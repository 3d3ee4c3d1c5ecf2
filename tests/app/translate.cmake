# The controller's recognition and translation steps against a loopback server.
find_package(Threads REQUIRED)
if(NOT TARGET PkgConfig::HTTPLIB)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET GLOBAL cpp-httplib)
endif()
korvex_test(translate_controller_test QT SOURCES TranslateControllerTest.cpp
  LIBS korvex_app korvex_platform_fake PkgConfig::HTTPLIB nlohmann_json::nlohmann_json Threads::Threads)
