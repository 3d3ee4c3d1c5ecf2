# cmake --install: the runtime folder under lib/korvex/ (the executables,
# Tesseract/ and tessdata/ linked to the system's libraries and data), links
# to the executables in bin/, the launcher, the icon, the man pages and the
# user service of korvex-server. Nothing installed refers to the build tree.
include(GNUInstallDirs)

# Not CMAKE_INSTALL_LIBDIR: a private folder of the program, the same path on
# every architecture, as the launcher and the service find it through bin/.
set(KORVEX_INSTALL_RUNTIMEDIR lib/korvex CACHE STRING "Runtime folder of the installed Korvex, below the prefix")
set(KORVEX_SYSTEMD_USER_UNITDIR lib/systemd/user CACHE STRING "systemd user units, below the prefix")

set(_staging ${CMAKE_BINARY_DIR}/install-staging)
file(MAKE_DIRECTORY ${_staging}/bin)

# korvex is the launcher users start; it runs korvex-gui beside it.
install(TARGETS korvex korvex-gui korvex-server RUNTIME DESTINATION ${KORVEX_INSTALL_RUNTIMEDIR})
# Tesseract/ and tessdata/ link to the system's shared objects by their
# sonames and to its trained-data folder, so they follow the system's
# packages through every update. Made at install time: relative where the
# target lies below the prefix (the package, for /usr), else absolute.
function(korvex_install_system_link Target Name Destination)
  set(Link ${_staging}/links/${Destination}/${Name})
  install(CODE "
    get_filename_component(Prefix \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
    string(FIND \"${Target}\" \"\${Prefix}/\" Below)
    if(Below EQUAL 0)
      file(RELATIVE_PATH To \"\${Prefix}/${Destination}\" \"${Target}\")
    else()
      set(To \"${Target}\")
    endif()
    file(MAKE_DIRECTORY \"${_staging}/links/${Destination}\")
    file(REMOVE \"${Link}\")
    file(CREATE_LINK \"\${To}\" \"${Link}\" SYMBOLIC)
  ")
  install(FILES ${Link} DESTINATION ${Destination})
endfunction()
foreach(_library ${KORVEX_TESSERACT_SO} ${KORVEX_LEPTONICA_SO})
  get_filename_component(_name ${_library} NAME)
  korvex_install_system_link(${_library} ${_name} ${KORVEX_INSTALL_RUNTIMEDIR}/Tesseract)
endforeach()
korvex_install_system_link(${KORVEX_TESSDATA_DIR} tessdata ${KORVEX_INSTALL_RUNTIMEDIR})
# Marks the folder as installed: settings are per user then (SettingsLocation.h).
install(FILES ${PROJECT_SOURCE_DIR}/data/per-user-settings DESTINATION ${KORVEX_INSTALL_RUNTIMEDIR})

# bin/korvex and bin/korvex-server: relative links, so the tree can move.
file(RELATIVE_PATH _to_runtime /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${KORVEX_INSTALL_RUNTIMEDIR})
foreach(_program korvex korvex-server)
  file(CREATE_LINK ${_to_runtime}/${_program} ${_staging}/bin/${_program} SYMBOLIC)
  install(FILES ${_staging}/bin/${_program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/data/korvex.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The launcher and the service name the executables by absolute path, so
# they are written when the prefix is known: at install time, which may
# override the configured prefix (cmake --install --prefix, cpack).
if(IS_ABSOLUTE ${CMAKE_INSTALL_BINDIR})
  set(_bindir ${CMAKE_INSTALL_BINDIR})
else()
  set(_bindir "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}")
endif()
install(CODE "
  get_filename_component(KORVEX_BINDIR \"${_bindir}\" ABSOLUTE)
  configure_file(\"${PROJECT_SOURCE_DIR}/data/korvex.desktop.in\" \"${_staging}/korvex.desktop\" @ONLY)
  configure_file(\"${PROJECT_SOURCE_DIR}/data/korvex-server.service.in\" \"${_staging}/korvex-server.service\" @ONLY)
")
install(FILES ${_staging}/korvex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_staging}/korvex-server.service DESTINATION ${KORVEX_SYSTEMD_USER_UNITDIR})

# Man pages from --help, when help2man is there (scripts/setup installs it).
find_program(KORVEX_HELP2MAN help2man)
if(KORVEX_HELP2MAN)
  set(_pages)
  foreach(_entry "korvex|read and translate text anywhere on the screen"
                 "korvex-server|translation and OCR server for Korvex")
    string(REPLACE "|" ";" _entry "${_entry}")
    list(GET _entry 0 _program)
    list(GET _entry 1 _summary)
    set(_page ${_staging}/man/${_program}.1.gz)
    # korvex answers --help and --version through korvex-gui.
    set(_answers ${_program})
    if(_program STREQUAL "korvex")
      list(APPEND _answers korvex-gui)
    endif()
    add_custom_command(OUTPUT ${_page}
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${_program}> "-DNAME=${_summary}"
              -DINCLUDE=${PROJECT_SOURCE_DIR}/data/${_program}.h2m -DOUTPUT=${_page}
              -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      DEPENDS ${_answers} ${PROJECT_SOURCE_DIR}/data/${_program}.h2m ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      COMMENT "Man page of ${_program}")
    list(APPEND _pages ${_page})
  endforeach()
  add_custom_target(korvex_man_pages ALL DEPENDS ${_pages})
  install(FILES ${_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no man pages (apt install help2man)")
endif()
