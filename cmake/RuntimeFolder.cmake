# Lays out build/korvex/Tesseract (links to the installed Tesseract and
# Leptonica shared objects) and build/korvex/tessdata (link to the installed
# trained data).
find_file(KORVEX_TESSERACT_SO NAMES libtesseract.so.5
          PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE} /usr/lib /usr/local/lib REQUIRED)
# Newer Leptonica ships libleptonica.so.6; Debian 12 has liblept.so.5.
find_file(KORVEX_LEPTONICA_SO NAMES libleptonica.so.6 liblept.so.5
          PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE} /usr/lib /usr/local/lib REQUIRED)
find_path(KORVEX_TESSDATA_DIR NAMES eng.traineddata
          PATHS /usr/share/tesseract-ocr/5/tessdata /usr/share/tesseract-ocr/4.00/tessdata
                /usr/share/tessdata /usr/local/share/tessdata REQUIRED NO_DEFAULT_PATH)

file(MAKE_DIRECTORY ${KORVEX_RUNTIME_DIR}/Tesseract)
get_filename_component(_tess_name ${KORVEX_TESSERACT_SO} NAME)
get_filename_component(_lept_name ${KORVEX_LEPTONICA_SO} NAME)
file(CREATE_LINK ${KORVEX_TESSERACT_SO} ${KORVEX_RUNTIME_DIR}/Tesseract/${_tess_name} SYMBOLIC)
file(CREATE_LINK ${KORVEX_LEPTONICA_SO} ${KORVEX_RUNTIME_DIR}/Tesseract/${_lept_name} SYMBOLIC)
file(CREATE_LINK ${KORVEX_TESSDATA_DIR} ${KORVEX_RUNTIME_DIR}/tessdata SYMBOLIC)
