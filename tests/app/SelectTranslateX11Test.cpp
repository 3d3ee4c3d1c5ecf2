#include "app/RemoteCommands.h"
#include "ocr/tesseractocr.h"
#include "platform/Platform.h"
#include "support/DesktopTools.h"
#include "support/RuntimeFolder.h"
#include "support/ServerProcess.h"
#include "text/LoopbackServer.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>

namespace {

// The box colour given to Korvex: stored 0x00BBGGRR, so this is RGB 40 80 C0.
const char* BoxColorSetting = "$00C08040";
const QRgb BoxColor = qRgb(0x40, 0x80, 0xC0);
const TRect Area{80, 80, 1020, 440};

class SelectTranslateX11 : public ::testing::Test {
protected:
  void SetUp() override {
    QString Error;
    Desktop = CreateX11Platform(&Error);
    ASSERT_TRUE(Desktop) << Error.toStdString();

    // A runtime folder of the test's own: Korvex reads Config.ini beside
    // its executable.
    ASSERT_TRUE(Dir.isValid());
    ASSERT_TRUE(MakeRuntimeFolder(Dir.path()));

    Text.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Text));
  }

  // Starts Korvex with the translation server at ServerUrl; MoreSettings are
  // further sections of Config.ini.
  void StartKorvex(const QString& ServerUrl, const QString& MoreSettings = {}) {
    QFile Ini(Dir.filePath("Config.ini"));
    ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
    Ini.write(QStringLiteral("[Translation]\nServer=%1\n"
                             "[TranslationWindow]\nTextBackColor=%2\nFontColor=clBlack\n"
                             "[General]\nLeft=1300\nTop=700\n")
                  .arg(ServerUrl, QString::fromLatin1(BoxColorSetting))
                  .toUtf8());
    Ini.write(MoreSettings.toUtf8());
    Ini.close();

    Korvex.setProcessChannelMode(QProcess::SeparateChannels);
    Korvex.start(Dir.filePath("korvex"), {});
    ASSERT_TRUE(Korvex.waitForStarted(5000));
    // Ready once its command socket answers.
    const bool Ready = QTest::qWaitFor(
        [] {
          QLocalSocket Probe;
          Probe.connectToServer(TRemoteCommands::ServerName());
          return Probe.waitForConnected(100);
        },
        20000);
    ASSERT_TRUE(Ready) << Korvex.readAllStandardError().toStdString();
  }

  void TearDown() override {
    Korvex.terminate();
    if (!Korvex.waitForFinished(5000))
      Korvex.kill();
    Korvex.waitForFinished(5000);
    Desktop.reset();
  }

  // The test's own connection to the X server, for screen copies.
  static inline std::unique_ptr<TPlatform> Desktop;

  static std::vector<std::string> Texts(const std::vector<TLoopbackServer::TRequest>& Requests) {
    std::vector<std::string> Result;
    for (const auto& Request : Requests)
      Result.push_back(nlohmann::json::parse(Request.Body).value("q", std::string()));
    return Result;
  }

  // Screen rows (from the top of the area) that hold the box colour, as bands.
  static std::vector<std::pair<int, int>> BoxBands(const QImage& Copy) {
    std::vector<std::pair<int, int>> Bands;
    for (int Y = 0; Y < Copy.height(); ++Y) {
      bool Row = false;
      for (int X = 0; X < Copy.width() && !Row; ++X)
        Row = (Copy.pixel(X, Y) & 0xffffff) == (BoxColor & 0xffffff);
      if (Row && (Bands.empty() || Bands.back().second != Y - 1))
        Bands.push_back({Y, Y});
      else if (Row)
        Bands.back().second = Y;
    }
    return Bands;
  }

  // The red frame of the selection window passes close to Corner.
  static bool FrameAt(QPoint Corner) {
    return HasSelectionFrameRed(Desktop->CopyScreen({Corner.x() - 3, Corner.y() - 3, Corner.x() + 3, Corner.y() + 3}));
  }

  void Screenshot(const QString& Name) {
    const QString Folder = qEnvironmentVariable("KORVEX_SCREENSHOT_DIR");
    if (!Folder.isEmpty())
      Desktop->CopyScreen({0, 0, 1920, 1080}).save(QDir(Folder).filePath(Name));
  }

  // `korvex --command select-translate`, then a press at one corner of
  // Area, a drag to the other and the release.
  void SelectTheArea() {
    QString Errors;
    ASSERT_EQ(RunTool(Dir.filePath("korvex"), {"--command", "select-translate"}, &Errors), 0) << Errors.toStdString();

    // Press at one corner and drag to the other, each step waiting until the
    // selection window's frame shows that the polling loop has seen it.
    // The selection window covers the text window once the loop runs (the
    // command may wait for Korvex to load its data first); the probe lies
    // clear of the text.
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
          return Desktop->CopyScreen({950, 150, 951, 151}).pixel(0, 0) != qRgb(255, 255, 255);
        },
        10000))
        << "no selection window";
    const QString Left = QString::number(Area.Left), Top = QString::number(Area.Top);
    ASSERT_EQ(RunTool("xdotool", {"mousemove", Left, Top, "sleep", "0.2", "mousedown", "1", "sleep", "0.3"}), 0);
    int Step = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const QString Near = QString::number(Area.Left + 3 + (++Step % 2));
          return RunTool("xdotool", {"mousemove", Near, Near}) == 0 && FrameAt(QPoint(Area.Left, Area.Top));
        },
        10000))
        << "the press was not seen";
    ASSERT_EQ(RunTool("xdotool", {"mousemove", "500", "300", "sleep", "0.2", "mousemove", QString::number(Area.Right),
                                  QString::number(Area.Bottom)}),
              0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return FrameAt(QPoint(Area.Right, Area.Bottom)); }, 10000))
        << "the drag was not seen";
    Screenshot("selection.png");
    ASSERT_EQ(RunTool("xdotool", {"mouseup", "1"}), 0);
  }

  // `korvex --command select-translate`, until its selection window is up.
  void StartSelection() {
    QString Errors;
    ASSERT_EQ(RunTool(Dir.filePath("korvex"), {"--command", "select-translate"}, &Errors), 0) << Errors.toStdString();
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return Desktop->CopyScreen({950, 150, 951, 151}).pixel(0, 0) != qRgb(255, 255, 255); }, 10000))
        << "no selection window";
  }

  // No request reaches the server for a while.
  bool StaysQuiet(std::size_t Requests) {
    QTest::qWait(1500);
    return Server.Requests().size() == Requests;
  }

  TLoopbackServer Server{[](const httplib::Request& Request, httplib::Response& Response) {
    const std::string Query = nlohmann::json::parse(Request.body).value("q", std::string());
    Response.set_content(nlohmann::json{{"translated_text", "번역 " + std::to_string(Query.size())}}.dump(),
                         "application/json");
  }};
  QTemporaryDir Dir;
  // A plain window with two paragraphs of large English text.
  TLargeTextWindow Text{QRect(100, 100, 900, 320),
                        {{QPoint(40, 80), QStringLiteral("Good morning, dear friends.")},
                         {QPoint(40, 250), QStringLiteral("Close the window now.")}}};
  QProcess Korvex;
};

TEST_F(SelectTranslateX11, ADraggedAreaEndsInTranslationsOverIt) {
  ASSERT_NO_FATAL_FAILURE(StartKorvex(Server.Url()));
  const QString Program = Dir.filePath("korvex");
  QString Errors;
  ASSERT_NO_FATAL_FAILURE(SelectTheArea());

  // One request per recognised segment, then the overlay over the area.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Server.Requests().size() >= 2; }, 20000))
      << Korvex.readAllStandardError().toStdString();
  QImage Copy;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        Copy = Desktop->CopyScreen(Area);
        return BoxBands(Copy).size() >= 2;
      },
      10000));
  QTest::qWait(300);
  Copy = Desktop->CopyScreen(Area);
  Screenshot("translated.png");

  const std::vector<std::string> First = Texts(Server.Requests());
  ASSERT_EQ(First.size(), 2u);
  EXPECT_NE(First[0].find("morning"), std::string::npos) << First[0];
  EXPECT_NE(First[1].find("window"), std::string::npos) << First[1];

  // One box per segment, each with its translation drawn in it.
  const auto Bands = BoxBands(Copy);
  ASSERT_EQ(Bands.size(), 2u);
  for (const auto& [BandTop, BandBottom] : Bands) {
    int Ink = 0;
    for (int Y = BandTop; Y <= BandBottom; ++Y)
      for (int X = 0; X < Copy.width(); ++X)
        Ink += qGray(Copy.pixel(X, Y)) < 40;
    EXPECT_GT(Ink, 20) << "no translation drawn in the box at " << BandTop;
  }
  // The boxes lie inside the area: none of their colour just outside it.
  const QImage Around = Desktop->CopyScreen({Area.Left - 40, Area.Top - 40, Area.Right + 40, Area.Bottom + 40});
  for (int Y = 0; Y < Around.height(); ++Y)
    for (int X = 0; X < Around.width(); ++X) {
      const bool Inside = X >= 40 && X < 40 + Area.Width() && Y >= 40 && Y < 40 + Area.Height();
      if (!Inside) {
        ASSERT_NE(Around.pixel(X, Y) & 0xffffff, BoxColor & 0xffffff) << X << "," << Y;
      }
    }

  // Translating the same area again reads the text under the overlay, not
  // the overlay's own translations.
  ASSERT_EQ(RunTool(Program, {"--command", "translate"}, &Errors), 0) << Errors.toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Server.Requests().size() >= 4; }, 20000));
  QTest::qWait(300);
  const std::vector<std::string> All = Texts(Server.Requests());
  ASSERT_EQ(All.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(All.begin() + 2, All.end()), First);
}

// A press, a move and a release sent back to back, faster than anything
// could poll them, still select the area.
TEST_F(SelectTranslateX11, AFastDragSelectsTheArea) {
  ASSERT_NO_FATAL_FAILURE(StartKorvex(Server.Url()));
  ASSERT_NO_FATAL_FAILURE(StartSelection());
  ASSERT_EQ(Xdo({"mousemove", QString::number(Area.Left), QString::number(Area.Top), "mousedown", "1", "mousemove",
                 QString::number(Area.Right), QString::number(Area.Bottom), "mouseup", "1"}),
            0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Server.Requests().size() >= 2; }, 20000))
      << Korvex.readAllStandardError().toStdString();
  const std::vector<std::string> Sent = Texts(Server.Requests());
  EXPECT_NE(Sent[0].find("morning"), std::string::npos) << Sent[0];
}

// A 5 ms Escape and a right-click each end the selection: its window goes,
// and a drag afterwards translates nothing.
TEST_F(SelectTranslateX11, AShortEscapeOrARightClickCancelsTheSelection) {
  ASSERT_NO_FATAL_FAILURE(StartKorvex(Server.Url()));
  const std::vector<QStringList> Cancels = {{"keydown", "Escape", "sleep", "0.005", "keyup", "Escape"},
                                            {"mousemove", "600", "600", "click", "3"}};
  for (const QStringList& Cancel : Cancels) {
    SCOPED_TRACE(Cancel.join(' ').toStdString());
    ASSERT_NO_FATAL_FAILURE(StartSelection());
    ASSERT_EQ(Xdo(Cancel), 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return Desktop->CopyScreen({950, 150, 951, 151}).pixel(0, 0) == qRgb(255, 255, 255); }, 5000))
        << "the selection window stays";
    ASSERT_EQ(Xdo({"mousemove", QString::number(Area.Left), QString::number(Area.Top), "mousedown", "1", "sleep",
                   "0.1", "mousemove", QString::number(Area.Right), QString::number(Area.Bottom), "sleep", "0.1",
                   "mouseup", "1"}),
              0);
    EXPECT_TRUE(StaysQuiet(0)) << "a drag after the cancelled selection was translated";
  }
}

// The same way with the desktop's recogniser ("Windows OCR"), which is
// Korvex's own Tesseract-backed service on X11: its result arrives later,
// on the GUI thread, and ends in the same overlay.
TEST_F(SelectTranslateX11, WithWindowsOCRADraggedAreaEndsInTranslationsOverIt) {
  ASSERT_NO_FATAL_FAILURE(StartKorvex(Server.Url(), "[OCR]\nEngine=Windows OCR\nLanguage=0\n"));
  ASSERT_NO_FATAL_FAILURE(SelectTheArea());

  ASSERT_TRUE(QTest::qWaitFor([&] { return Server.Requests().size() >= 2; }, 20000))
      << Korvex.readAllStandardError().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return BoxBands(Desktop->CopyScreen(Area)).size() >= 2; }, 10000));
  Screenshot("translated-windows-ocr.png");
  const std::vector<std::string> Sent = Texts(Server.Requests());
  ASSERT_EQ(Sent.size(), 2u);
  EXPECT_NE(Sent[0].find("morning"), std::string::npos) << Sent[0];
  EXPECT_NE(Sent[1].find("window"), std::string::npos) << Sent[1];
  EXPECT_EQ(BoxBands(Desktop->CopyScreen(Area)).size(), 2u);
}

// The whole way with the project's own server: Apertium translates the
// English text into Spanish, and a Spanish word reads back from the screen.
TEST_F(SelectTranslateX11, WithKorvexServerTheOverlayShowsTheSpanishTranslation) {
  TServerProcess Translator;
  ASSERT_TRUE(Translator.WaitUntilListening()) << Translator.Errors().toStdString();

  ASSERT_NO_FATAL_FAILURE(StartKorvex(Translator.Url(), "[Translation]\nTargetLanguage=es\n"
                                                        "[TranslationWindow]\nFontName=DejaVu Sans\nFontSize=20\n"));
  ASSERT_NO_FATAL_FAILURE(SelectTheArea());
  QImage Copy;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        Copy = Desktop->CopyScreen(Area);
        return BoxBands(Copy).size() >= 2;
      },
      20000))
      << Korvex.readAllStandardError().toStdString();
  QTest::qWait(300);
  Copy = Desktop->CopyScreen(Area);
  Screenshot("spanish.png");

  // Black text on the mid-blue box: the box colour turns white first, or the
  // recogniser's global threshold would make the box as dark as the text.
  Copy = Copy.convertToFormat(QImage::Format_RGB32);
  for (int Y = 0; Y < Copy.height(); ++Y)
    for (int X = 0; X < Copy.width(); ++X)
      if ((Copy.pixel(X, Y) & 0xffffff) == (BoxColor & 0xffffff))
        Copy.setPixel(X, Y, qRgb(255, 255, 255));
  TTesseractOCR5 Reader(QDir(KORVEX_RUNTIME_DIR).filePath("Tesseract") + "/");
  ASSERT_TRUE(Reader.Initialize(QDir(KORVEX_RUNTIME_DIR).filePath("tessdata") + "/", "eng"));
  ASSERT_TRUE(Reader.SetImage(Copy));
  TIteratorResultList Lines;
  Reader.Execute(tesseract::RIL_TEXTLINE, Lines);
  QString Read;
  for (const TIteratorResult& Line : Lines)
    Read += Line.Text;
  EXPECT_TRUE(Read.contains("amigos") || Read.contains("ventana")) << Read.toStdString();
}

} // namespace
