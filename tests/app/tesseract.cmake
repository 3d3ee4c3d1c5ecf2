# Start-up with the Tesseract engine and its data, and the controller's line
# recognition; offscreen, on the fake platform.
korvex_test(form_ocr_tesseract_test QT SOURCES FormOCRTesseractTest.cpp
  LIBS korvex_app korvex_platform_fake Qt6::Test)
# Recognition runs on one OpenMP thread, as in korvex.
set_property(TEST form_ocr_tesseract_test APPEND PROPERTY ENVIRONMENT OMP_THREAD_LIMIT=1)
