// POST /ocr's service with the system's Tesseract and English trained data,
// on pictures rendered here and sent as Korvex sends them.
#include "server/OcrService.h"
#include "server/OcrImage.h"

#include "support/ScreenTextPictures.h"
#include "support/TextImages.h"

#include <QBuffer>
#include <QImage>
#include <QStringList>

#include <nlohmann/json.hpp>

#include <atomic>
#include <future>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

using nlohmann::json;

TOcrOptions Options(int Workers, int QueueLimit) {
  TOcrOptions Result;
  Result.DataPath = KORVEX_TESSDATA_DIR;
  Result.Workers = Workers;
  Result.QueueLimit = QueueLimit;
  return Result;
}

std::string Encode(const QImage& Image, const char* Format) {
  QByteArray Bytes;
  QBuffer Buffer(&Bytes);
  Buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(Image.save(&Buffer, Format));
  return Bytes.toStdString();
}

// Qt writes 24 bits a pixel at most; a Windows capture is often stored at 32.
std::string Bmp32(const QImage& Image) {
  const QImage Pixels = Image.convertToFormat(QImage::Format_ARGB32);
  const uint32_t RowBytes = uint32_t(Pixels.width()) * 4, PixelBytes = RowBytes * uint32_t(Pixels.height());
  std::string Bmp(54, '\0');
  auto Put = [&](size_t At, uint32_t Value, int Bytes) {
    for (int I = 0; I < Bytes; ++I)
      Bmp[At + I] = char(Value >> (8 * I));
  };
  Bmp[0] = 'B';
  Bmp[1] = 'M';
  Put(2, 54 + PixelBytes, 4);
  Put(10, 54, 4);
  Put(14, 40, 4);
  Put(18, uint32_t(Pixels.width()), 4);
  Put(22, uint32_t(Pixels.height()), 4); // positive: the bottom row first
  Put(26, 1, 2);
  Put(28, 32, 2);
  Put(34, PixelBytes, 4);
  for (int Y = Pixels.height() - 1; Y >= 0; --Y)
    Bmp.append(reinterpret_cast<const char*>(Pixels.constScanLine(Y)), RowBytes);
  return Bmp;
}

int BmpBitsPerPixel(const std::string& Bmp) { return uint8_t(Bmp[28]) | uint8_t(Bmp[29]) << 8; }

void PutLittleEndian32(std::string& Bytes, size_t At, uint32_t Value) {
  for (int I = 0; I < 4; ++I)
    Bytes[At + I] = char(Value >> (8 * I));
}

const QStringList ThreeLines = {QStringLiteral("The quick brown fox"), QStringLiteral("jumps over the lazy dog"),
                                QStringLiteral("while the cat sleeps")};
constexpr int LineHeight = 60;

// The smallest rectangle holding every dark pixel of rows [Top, Bottom),
// as Left, Top, exclusive Right and Bottom.
QRect InkBounds(const QImage& Image, int Top, int Bottom) {
  QRect Bounds;
  for (int Y = Top; Y < Bottom; ++Y)
    for (int X = 0; X < Image.width(); ++X)
      if (qGray(Image.pixel(X, Y)) < 128)
        Bounds |= QRect(X, Y, 1, 1);
  return Bounds;
}

// A reply box holds the ink it was recognised from, with a pixel of slack
// for anti-aliased edges, and hugs it.
void ExpectBoxAroundInk(const json& Box, const QRect& Ink) {
  SCOPED_TRACE(Box.dump());
  const int Left = Box.at("left"), Top = Box.at("top"), Right = Box.at("right"), Bottom = Box.at("bottom");
  constexpr int Slack = 1, Loose = 8;
  EXPECT_LE(Left, Ink.left() + Slack);
  EXPECT_LE(Top, Ink.top() + Slack);
  EXPECT_GE(Right, Ink.right() + 1 - Slack);
  EXPECT_GE(Bottom, Ink.bottom() + 1 - Slack);
  EXPECT_GE(Left, Ink.left() - Loose);
  EXPECT_GE(Top, Ink.top() - Loose);
  EXPECT_LE(Right, Ink.right() + 1 + Loose);
  EXPECT_LE(Bottom, Ink.bottom() + 1 + Loose);
}

json Boxes(const TServerReply& Reply) {
  EXPECT_EQ(Reply.Status, 200) << Reply.Body;
  return json::parse(Reply.Body, nullptr, false);
}

class OcrService : public ::testing::Test {
protected:
  static void SetUpTestSuite() { Service = std::make_unique<TServerOcrService>(Options(2, 8)); }
  static void TearDownTestSuite() { Service.reset(); }
  static inline std::unique_ptr<TServerOcrService> Service;
};

TEST_F(OcrService, ThreeLinesComeBackAsLineBoxesFromEveryBmpDepthAndFromPng) {
  const QImage Picture = RenderTextLines(ThreeLines, 640, LineHeight, 32);
  struct TCase {
    const char* Name;
    std::string Body;
    int BmpDepth;
  };
  const TCase Cases[] = {
      {"BMP of an RGB32 capture", Encode(Picture, "BMP"), 24},
      {"32-bit BMP", Bmp32(Picture), 32},
      {"BMP of a binarised capture", Encode(Picture.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither), "BMP"),
       1},
      {"PNG", Encode(Picture, "PNG"), 0},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    if (Case.BmpDepth) {
      ASSERT_EQ(BmpBitsPerPixel(Case.Body), Case.BmpDepth);
    }
    const json Lines = Boxes(Service->Recognize(Case.Body, false));
    ASSERT_TRUE(Lines.is_array());
    ASSERT_EQ(Lines.size(), 3u) << Lines.dump();
    for (int I = 0; I < 3; ++I) {
      EXPECT_EQ(Lines[I].at("text"), ThreeLines[I].toStdString());
      ExpectBoxAroundInk(Lines[I], InkBounds(Picture, I * LineHeight, (I + 1) * LineHeight));
    }
  }
}

TEST_F(OcrService, ParagraphModeGivesOneBoxPerParagraph) {
  // Tesseract tells paragraphs apart by a full first line and a short last
  // one, with four empty rows between them.
  const QStringList Rows = {QStringLiteral("Korvex reads the text on the screen and"),
                            QStringLiteral("sends every line it finds."),
                            QString(),
                            QString(),
                            QString(),
                            QString(),
                            QStringLiteral("Then the server sends the boxes back"),
                            QStringLiteral("to the client over the screen.")};
  constexpr int RowHeight = 40;
  const QImage Picture = RenderTextLines(Rows, 800, RowHeight, 26);
  const std::string Bmp = Encode(Picture, "BMP");

  const json Paragraphs = Boxes(Service->Recognize(Bmp, true));
  ASSERT_EQ(Paragraphs.size(), 2u) << Paragraphs.dump();
  EXPECT_EQ(Paragraphs[0].at("text"), "Korvex reads the text on the screen and sends every line it finds.");
  EXPECT_EQ(Paragraphs[1].at("text"), "Then the server sends the boxes back to the client over the screen.");
  ExpectBoxAroundInk(Paragraphs[0], InkBounds(Picture, 0, 2 * RowHeight));
  ExpectBoxAroundInk(Paragraphs[1], InkBounds(Picture, 6 * RowHeight, 8 * RowHeight));

  EXPECT_EQ(Boxes(Service->Recognize(Bmp, false)).size(), 4u);
}

// White 12 px text on a light gradient, which Tesseract alone reads at about
// half its words: enhanced unless the request asks otherwise, boxes in the
// posted picture's pixels.
TEST_F(OcrService, PicturesAreEnhancedUnlessTheRequestSaysNot) {
  const TScreenTextPicture Sample = RenderScreenText(TScreenTextClass::LightGradient, 12, 21, 21);
  const std::string Bmp = Encode(Sample.Image, "BMP");
  auto Accuracy = [&](const json& Lines) {
    QString Text;
    for (const json& Line : Lines)
      Text += QString::fromStdString(Line.at("text").get<std::string>()) + QLatin1Char(' ');
    return WordAccuracy(Sample.Lines, Text);
  };
  const json Enhanced = Boxes(Service->Recognize(Bmp, false));
  ASSERT_EQ(Enhanced.size(), Sample.LineBoxes.size()) << Enhanced.dump();
  EXPECT_GE(Accuracy(Enhanced), 0.9) << Enhanced.dump();
  for (size_t I = 0; I < Enhanced.size(); ++I)
    ExpectBoxAroundInk(Enhanced[I], Sample.LineBoxes[I]);
  EXPECT_LT(Accuracy(Boxes(Service->Recognize(Bmp, false, false))), 0.9);
}

// A word the chosen picture runs together ("Newlevel") takes another
// picture's reading, in lines and in paragraphs of several lines alike.
TEST_F(OcrService, AWordsBetterReadingFromAnotherPictureReachesTheBoxes) {
  const TScreenTextPicture Sample = RenderScreenText(TScreenTextClass::ShadowedSubtitle, 13, 7, 7);
  const std::string Png = Encode(Sample.Image, "PNG");
  for (const bool Paragraph : {false, true}) {
    SCOPED_TRACE(Paragraph ? "paragraphs" : "lines");
    std::string Text;
    for (const json& Box : Boxes(Service->Recognize(Png, Paragraph)))
      Text += Box.at("text").get<std::string>() + "\n";
    EXPECT_NE(Text.find("Reward Points New level people"), std::string::npos) << Text;
  }
}

TEST_F(OcrService, BadPicturesAreRefusedAndTheServiceGoesOn) {
  const QImage Small = RenderTextLines({QStringLiteral("Still working")}, 320, 50, 28);
  const std::string Bmp = Encode(Small, "BMP");
  const std::string Png = Encode(Small, "PNG");
  auto WithSize = [&](int32_t Width, int32_t Height) {
    std::string Body = Bmp;
    PutLittleEndian32(Body, 18, uint32_t(Width));
    PutLittleEndian32(Body, 22, uint32_t(Height));
    return Body;
  };
  std::string HugePng = Png;
  PutLittleEndian32(HugePng, 16, 0x60ea0000); // 60 000 big-endian, in width and height
  PutLittleEndian32(HugePng, 20, 0x60ea0000);

  struct TCase {
    const char* Name;
    std::string Body;
    int Status;
    std::string Error;
  };
  const TCase Cases[] = {
      {"empty body", "", 400, "empty body"},
      {"garbage", "GET / HTTP/1.1\r\n\r\nnot a picture at all", 415, "neither a BMP nor a PNG"},
      {"BMP cut inside its header", Bmp.substr(0, 20), 400, "broken BMP file: its header is cut short"},
      {"BMP cut inside its pixels", Bmp.substr(0, Bmp.size() / 2), 400, "broken BMP file"},
      {"0 x 0 BMP", WithSize(0, 0), 400, "empty BMP picture: 0 x 0 pixels"},
      {"60000 x 60000 BMP", WithSize(60000, 60000), 413, "picture too large: 60000 x 60000 pixels"},
      {"BMP too wide", WithSize(20000, -40), 413, "picture too large: 20000 x 40 pixels"},
      {"BMP header larger than its pixels", WithSize(4000, 4000), 400, "broken BMP file"},
      {"PNG signature and garbage", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, 'x'), 400,
       "broken PNG file: its header"},
      {"PNG cut inside its pixels", Png.substr(0, Png.size() / 2), 400, "broken PNG file"},
      {"60000 x 60000 PNG", HugePng, 413, "picture too large: 60000 x 60000 pixels"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TServerReply Reply = Service->Recognize(Case.Body, false);
    EXPECT_EQ(Reply.Status, Case.Status) << Reply.Body;
    const json Error = json::parse(Reply.Body, nullptr, false);
    ASSERT_TRUE(Error.is_object()) << Reply.Body;
    EXPECT_NE(Error.value("error", "").find(Case.Error), std::string::npos) << Reply.Body;

    const json Lines = Boxes(Service->Recognize(Bmp, false));
    ASSERT_EQ(Lines.size(), 1u) << Lines.dump();
    EXPECT_EQ(Lines[0].at("text"), "Still working");
  }
}

// The largest picture the limits pass is decoded, not refused by the
// decoder's own allocation limit.
TEST(OcrImage, APictureAtTheLimitsIsDecoded) {
  QImage Grey(7000, 8500, QImage::Format_Grayscale8);
  Grey.fill(0);
  const std::string Png = Encode(Grey, "PNG");
  Grey = QImage();
  TImageHeader Header;
  TImageRejection Rejection;
  ASSERT_TRUE(ReadImageHeader(Png, Header, Rejection)) << Rejection.Message;
  QImage Decoded;
  ASSERT_TRUE(DecodeImage(Png, Header, Decoded, Rejection)) << Rejection.Message;
  EXPECT_EQ(Decoded.size(), QSize(7000, 8500));
}

// Holds the worker that takes a request until the test lets it go.
class TWorkerGate {
public:
  void operator()() {
    FEntered.set_value();
    FRelease.wait();
  }
  void WaitUntilEntered() { FEnteredFuture.wait(); }
  void Release() { FReleasePromise.set_value(); }

private:
  std::promise<void> FEntered;
  std::future<void> FEnteredFuture = FEntered.get_future();
  std::promise<void> FReleasePromise;
  std::shared_future<void> FRelease = FReleasePromise.get_future().share();
};

TEST(OcrServiceQueue, FullQueueAnswers503AtOnceAndTheHeldRequestStillSucceeds) {
  TWorkerGate Gate;
  TServerOcrService Service(Options(1, 0), {.BeforeWork = [&] { Gate(); }, .Stopping = {}});
  const std::string Bmp = Encode(RenderTextLines({QStringLiteral("Busy worker")}, 320, 50, 28), "BMP");

  std::future<TServerReply> Held = std::async(std::launch::async, [&] { return Service.Recognize(Bmp, false); });
  Gate.WaitUntilEntered();
  const TServerReply Busy = Service.Recognize(Bmp, false);
  EXPECT_EQ(Busy.Status, 503);
  EXPECT_EQ(json::parse(Busy.Body, nullptr, false).value("error", "").rfind("OCR is busy:", 0), 0u) << Busy.Body;

  Gate.Release();
  const json Lines = Boxes(Held.get());
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0].at("text"), "Busy worker");
}

TEST(OcrServiceQueue, DestructionAnswersHeldAndQueuedRequests503) {
  TWorkerGate Gate;
  // The worker is let go only once the destructor has closed the queue.
  auto Service = std::make_unique<TServerOcrService>(
      Options(1, 1), TOcrHooks{.BeforeWork = [&] { Gate(); }, .Stopping = [&] { Gate.Release(); }});
  const std::string Bmp = Encode(RenderTextLines(ThreeLines, 640, LineHeight, 32), "BMP");

  std::future<TServerReply> Held = std::async(std::launch::async, [&] { return Service->Recognize(Bmp, false); });
  Gate.WaitUntilEntered();
  // Two more for the one place left in the queue: once one is refused, the
  // other is certainly queued.
  std::promise<void> Refused;
  auto Contender = [&] {
    TServerReply Reply = Service->Recognize(Bmp, false);
    if (Reply.Status == 503 && Reply.Body.find("busy") != std::string::npos)
      Refused.set_value();
    return Reply;
  };
  std::future<TServerReply> First = std::async(std::launch::async, Contender);
  std::future<TServerReply> Second = std::async(std::launch::async, Contender);
  Refused.get_future().wait();
  Service.reset();

  int ShuttingDown = 0, Busy = 0;
  for (std::future<TServerReply>* Reply : {&Held, &First, &Second}) {
    const TServerReply Answer = Reply->get();
    EXPECT_EQ(Answer.Status, 503) << Answer.Body;
    ShuttingDown += Answer.Body.find("OCR is shutting down") != std::string::npos;
    Busy += Answer.Body.find("OCR is busy") != std::string::npos;
  }
  EXPECT_EQ(ShuttingDown, 2);
  EXPECT_EQ(Busy, 1);
}

// Two workers, but pixels for one picture at a time: the second waits until
// the first is done, then both are answered.
TEST(OcrServiceQueue, PicturesPastThePixelBudgetWaitForTheOnesBeingRecognised) {
  TWorkerGate Gate;
  std::atomic<int> Started = 0;
  TOcrOptions Budget = Options(2, 2);
  Budget.PixelBudget = 320 * 50;
  TServerOcrService Service(Budget, {.BeforeWork =
                                   [&] {
                                     if (++Started == 1)
                                       Gate();
                                   },
                               .Stopping = {}});
  const std::string Bmp = Encode(RenderTextLines({QStringLiteral("Busy worker")}, 320, 50, 28), "BMP");
  std::future<TServerReply> First = std::async(std::launch::async, [&] { return Service.Recognize(Bmp, false); });
  Gate.WaitUntilEntered();
  std::future<TServerReply> Second = std::async(std::launch::async, [&] { return Service.Recognize(Bmp, false); });
  EXPECT_EQ(Second.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  EXPECT_EQ(Started, 1);
  Gate.Release();
  for (std::future<TServerReply>* Reply : {&First, &Second}) {
    const json Lines = Boxes(Reply->get());
    ASSERT_EQ(Lines.size(), 1u);
    EXPECT_EQ(Lines[0].at("text"), "Busy worker");
  }
  EXPECT_EQ(Started, 2);
}

TEST(OcrServiceStart, MissingTrainedDataThrowsANamedError) {
  TOcrOptions Missing = Options(1, 0);
  Missing.Languages = "xyz";
  try {
    TServerOcrService Service(Missing);
    FAIL() << "no exception";
  } catch (const std::runtime_error& Error) {
    EXPECT_NE(std::string(Error.what()).find("\"xyz\""), std::string::npos) << Error.what();
    EXPECT_NE(std::string(Error.what()).find(KORVEX_TESSDATA_DIR), std::string::npos) << Error.what();
  }
}

} // namespace
