# The controller's side of the translation overlay: creation, the view
# command, the hand-over of a result, the geometry written at the end.
korvex_test(overlay_controller_test QT SOURCES OverlayControllerTest.cpp
  LIBS korvex_app korvex_platform_fake Qt6::Test)
