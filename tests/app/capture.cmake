# The selection loop, the capture step and the selection and capture
# commands, offscreen on the fake platform with a scripted pointer.
korvex_test(capture_controller_test QT SOURCES CaptureControllerTest.cpp
  LIBS korvex_app korvex_platform_fake Qt6::Test)
