// The yardstick of Korvex's start-up: a bare Qt main window, shown at once.
// end_to_end_bench starts it and times how long it takes to be mapped.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  QApplication App(argc, argv);
  QMainWindow Window;
  Window.setWindowTitle(QStringLiteral("Bare Qt window"));
  Window.resize(373, 300);
  Window.show();
  return App.exec();
}
