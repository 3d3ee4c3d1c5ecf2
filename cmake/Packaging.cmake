# cpack -G DEB: korvex_<version>_<arch>.deb. Its dependencies are those
# dpkg-shlibdeps computes from the executables, plus what Korvex loads at run
# time, which no linker sees: Tesseract and Leptonica (opened from
# Tesseract/), the English trained data, the SVG icon plugin, the Korean
# fonts of its texts, and Apertium with one language pair for korvex-server.

# The package that installed File on this machine (the build's own system,
# the one the package is built for), or Fallback where dpkg does not know it.
function(korvex_package_of File Fallback Result)
  set(Package ${Fallback})
  file(REAL_PATH ${File} Real)
  execute_process(COMMAND dpkg-query --search ${Real} OUTPUT_VARIABLE Owner ERROR_QUIET RESULT_VARIABLE Status)
  if(Status EQUAL 0 AND Owner MATCHES "^([^:, ]+)")
    set(Package ${CMAKE_MATCH_1})
  endif()
  set(${Result} ${Package} PARENT_SCOPE)
endfunction()

korvex_package_of(${KORVEX_TESSERACT_SO} libtesseract5 _tesseract_package)
korvex_package_of(${KORVEX_LEPTONICA_SO} liblept5 _leptonica_package)
korvex_package_of(${KORVEX_TESSDATA_DIR}/eng.traineddata tesseract-ocr-eng _english_package)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Korvex)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reads and translates text anywhere on the screen")
# Lines of the long description, wrapped as Debian shows them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Korvex reads and translates text anywhere on the screen. Mark a rectangle"
  "(or take the whole work area); Korvex recognises the text in it with"
  "Tesseract or a remote OCR server, sends it to a translation server over"
  "HTTP and lays the translation over the area."
  "."
  "Its own server, korvex-server, translates with Apertium or relays to a"
  "LibreTranslate-compatible server, and runs as a systemd user service."
  "For X11 desktops (Wayland sessions through XWayland).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(KORVEX_PACKAGE_MAINTAINER "Korvex developers <korvex@localhost>" CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORVEX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "${_tesseract_package}, ${_leptonica_package}, ${_english_package}, libqt6svg6, fonts-noto-cjk | fonts-nanum, apertium, apertium-eng-spa")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tesseract-ocr-kor")
include(CPack)
