// The OCR component's own rules, against the scripted recognition service:
// bounds and the BGRA copy, the busy guard, the language lookup, the status
// mapping and the hand-over of the result to the GUI thread.
#include "ocr/RtOcr.h"
#include "platform/fake/FakeOcrService.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

namespace {

const TOcrLanguage English{"en-US", "English (United States)", "English (United States)", "Latin"};
const TOcrLanguage Korean{"ko-KR", "Korean (South Korea)", "한국어 (대한민국)", "Korean"};

TRtOcr::TLanguage AsComponentLanguage(const TOcrLanguage& Language) {
  return {Language.DisplayName, Language.LanguageTag, Language.NativeName, Language.Script};
}

// A 300 x 100 picture whose every byte tells its position: blue = column
// low byte, green = column high byte, red = row, fourth byte 0x5A.
QImage PositionPicture(int Width = 300, int Height = 100) {
  QImage Picture(Width, Height, QImage::Format_ARGB32);
  for (int Y = 0; Y < Height; ++Y) {
    auto* Row = reinterpret_cast<uint8_t*>(Picture.scanLine(Y));
    for (int X = 0; X < Width; ++X) {
      Row[X * 4 + 0] = uint8_t(X & 0xFF);
      Row[X * 4 + 1] = uint8_t(X >> 8);
      Row[X * 4 + 2] = uint8_t(Y);
      Row[X * 4 + 3] = 0x5A;
    }
  }
  return Picture;
}

class RtOcr : public ::testing::Test {
protected:
  RtOcr() {
    Service.Languages = {English, Korean};
    Component.emplace(Service);
    Component->SetPicture(PositionPicture());
    Component->OnCompleted = [this](TRtOcr* Sender, const TRtOcr::TResult& Result, void* CustomData) {
      EXPECT_EQ(Sender, &*Component);
      EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread()) << "handler off the GUI thread";
      Results.push_back(Result);
      Data.push_back(CustomData);
    };
  }

  void Start(int32_t Left = 0, int32_t Top = 0, int32_t Right = 0, int32_t Bottom = 0) {
    Component->Recognize(AsComponentLanguage(English), &Marker, Left, Top, Right, Bottom);
  }
  // Lets queued calls run, as the event loop would.
  static void Deliver() { QCoreApplication::processEvents(); }

  TFakeOcrService Service;
  std::optional<TRtOcr> Component;
  std::vector<TRtOcr::TResult> Results;
  std::vector<void*> Data;
  int Marker = 0;
};

TEST_F(RtOcr, AllBoundsZeroSendsTheWholePictureAsPackedBgra) {
  Start();
  ASSERT_EQ(Service.Operations.size(), 1u);
  const TSoftwareBitmap& Bitmap = *Service.Operations[0]->Bitmap();
  EXPECT_EQ(Bitmap.Format(), TOcrPixelFormat::Bgra8);
  EXPECT_EQ(Bitmap.Width(), 300);
  EXPECT_EQ(Bitmap.Height(), 100);
  ASSERT_EQ(Bitmap.Size(), 120000u);
  const QImage Picture = PositionPicture();
  for (int Y = 0; Y < 100; ++Y)
    ASSERT_EQ(std::memcmp(Bitmap.Buffer() + Y * 1200, Picture.constScanLine(Y), 1200), 0) << "row " << Y;
}

TEST_F(RtOcr, ARectangleCopiesEachRowFromItsLeftEdge) {
  Start(10, 0, 300, 100);
  const TSoftwareBitmap& Bitmap = *Service.Operations.at(0)->Bitmap();
  ASSERT_EQ(Bitmap.Width(), 290);
  ASSERT_EQ(Bitmap.Height(), 100);
  const QImage Picture = PositionPicture();
  for (int Y = 0; Y < 100; ++Y)
    ASSERT_EQ(std::memcmp(Bitmap.Buffer() + Y * 290 * 4, Picture.constScanLine(Y) + 40, 290 * 4), 0) << "row " << Y;

  Component.reset();
  Service.Operations.clear();
  Component.emplace(Service);
  Component->SetPicture(PositionPicture());
  Component->Recognize(AsComponentLanguage(English), nullptr, 5, 7, 9, 10);
  const TSoftwareBitmap& Small = *Service.Operations.at(0)->Bitmap();
  ASSERT_EQ(Small.Size(), 4u * 3 * 4);
  EXPECT_EQ(Small.Buffer()[0], 5) << "column 5";
  EXPECT_EQ(Small.Buffer()[2], 7) << "row 7";
  EXPECT_EQ(Small.Buffer()[3], 0x5A) << "the fourth byte as it was";
  EXPECT_EQ(Small.Buffer()[2 * 16 + 3 * 4 + 2], 9) << "last row";
}

TEST_F(RtOcr, PictureInOtherFormatsArrivesAsOpaqueBgra) {
  QImage Rgb(2, 1, QImage::Format_RGB888);
  Rgb.setPixelColor(0, 0, QColor(10, 20, 30));
  Rgb.setPixelColor(1, 0, QColor(40, 50, 60));
  Component->SetPicture(Rgb);
  Start();
  const TSoftwareBitmap& Bitmap = *Service.Operations.at(0)->Bitmap();
  const std::vector<uint8_t> Bytes(Bitmap.Buffer(), Bitmap.Buffer() + Bitmap.Size());
  EXPECT_EQ(Bytes, (std::vector<uint8_t>{30, 20, 10, 255, 60, 50, 40, 255}));
}

TEST_F(RtOcr, BoundsOutsideThePictureAreRejected) {
  struct TCase {
    int32_t Left, Top, Right, Bottom;
    const char* Message; // null: accepted
  };
  const TCase Cases[] = {
      {0, 0, 300, 100, nullptr},
      {299, 99, 300, 100, nullptr},
      {0, 0, 301, 100, "Incorrect Right value"},
      {0, 0, 300, 101, "Incorrect Bottom value"},
      {-1, 0, 300, 100, "Incorrect Left value"},
      {0, -1, 300, 100, "Incorrect Top value"},
      {0, 0, 0, 100, "Incorrect Right value"},
      {0, 0, 300, 0, "Incorrect Bottom value"},
      {-1, -1, 301, 101, "Incorrect Left value"}, // checked in this order
      {0, -1, 301, 101, "Incorrect Top value"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << Case.Left << "," << Case.Top << "," << Case.Right << "," << Case.Bottom);
    TRtOcr Fresh(Service);
    Fresh.SetPicture(PositionPicture());
    const auto Language = AsComponentLanguage(English);
    if (!Case.Message) {
      EXPECT_NO_THROW(Fresh.Recognize(Language, nullptr, Case.Left, Case.Top, Case.Right, Case.Bottom));
      EXPECT_TRUE(Fresh.Busy());
      continue;
    }
    try {
      Fresh.Recognize(Language, nullptr, Case.Left, Case.Top, Case.Right, Case.Bottom);
      ADD_FAILURE() << "accepted";
    } catch (const ERtOcrError& Error) {
      EXPECT_STREQ(Error.what(), Case.Message);
    }
    EXPECT_FALSE(Fresh.Busy());
  }
}

TEST_F(RtOcr, EmptyOrInvertedRectanglesFailInTheServiceAndEmptyPicturesOnTheRightBound) {
  for (const QRect& Bounds : {QRect(QPoint(20, 0), QPoint(9, 99)), QRect(QPoint(0, 50), QPoint(299, 49))}) {
    TRtOcr Fresh(Service);
    Fresh.SetPicture(PositionPicture());
    try {
      Fresh.Recognize(AsComponentLanguage(English), nullptr, Bounds.left(), Bounds.top(), Bounds.right() + 1,
                      Bounds.bottom() + 1);
      ADD_FAILURE() << "accepted";
    } catch (const EWinRtError& Error) {
      EXPECT_EQ(Error.FErrorCode, OcrServiceCode::InvalidArgument);
      EXPECT_TRUE(QString::fromUtf8(Error.what()).startsWith("Error $80070057: ")) << Error.what();
    }
    EXPECT_FALSE(Fresh.Busy());
  }
  Component->SetPicture(QImage());
  EXPECT_THROW(
      {
        try {
          Start();
        } catch (const ERtOcrError& Error) {
          EXPECT_STREQ(Error.what(), "Incorrect Right value");
          throw;
        }
      },
      ERtOcrError);
}

TEST_F(RtOcr, ASecondRecognitionWaitsForTheFirstCompletion) {
  Start();
  try {
    Start();
    ADD_FAILURE() << "a second recognition started";
  } catch (const ERtOcrError& Error) {
    EXPECT_STREQ(Error.what(), "Recognition already started");
  }
  EXPECT_EQ(Service.Operations.size(), 1u);

  ASSERT_TRUE(Service.Complete(TOcrAsyncStatus::Completed));
  EXPECT_TRUE(Component->Busy()) << "busy until the completion reaches the GUI thread";
  EXPECT_TRUE(Results.empty()) << "the completion ran on the service's thread";
  Deliver();
  ASSERT_EQ(Results.size(), 1u);
  EXPECT_FALSE(Component->Busy());
  EXPECT_NO_THROW(Start());
  EXPECT_EQ(Service.Operations.size(), 2u);
}

TEST_F(RtOcr, ALanguageDifferingInAnyNameIsNotAvailable) {
  std::vector<TRtOcr::TLanguage> Variants(4, AsComponentLanguage(Korean));
  Variants[0].DisplayName += " ";
  Variants[1].LanguageTag = "ko-kr";
  Variants[2].NativeName = "한국어";
  Variants[3].Script = "Hangul";
  for (const TRtOcr::TLanguage& Language : Variants) {
    try {
      Component->Recognize(Language, nullptr, 0, 0, 0, 0);
      ADD_FAILURE() << "accepted " << Language.DisplayName.toStdString();
    } catch (const ERtOcrError& Error) {
      EXPECT_STREQ(Error.what(), "Language not available");
    }
  }
  EXPECT_FALSE(Component->Busy());
  EXPECT_NO_THROW(Component->Recognize(AsComponentLanguage(Korean), nullptr, 0, 0, 0, 0));
}

TEST_F(RtOcr, LanguagesAreTheServicesInItsOrder) {
  const TRtOcr::TLanguages Languages = Component->GetAvailableLanguages();
  ASSERT_EQ(Languages.size(), 2u);
  EXPECT_EQ(Languages[0], AsComponentLanguage(English));
  EXPECT_EQ(Languages[1], AsComponentLanguage(Korean));
  EXPECT_EQ(Component->AvailableLanguages(), Languages);
}

TEST_F(RtOcr, TheResultCarriesLinesWordsTextAndAngle) {
  TOcrResult Recognised;
  Recognised.Text = "Hello world\nBye";
  Recognised.TextAngle = 1.5;
  Recognised.Lines = {{"Hello world", {{"Hello", {1.5f, 2.25f, 30.0f, 10.0f}}, {"world", {40.0f, 2.0f, 31.5f, 11.0f}}}},
                      {"Bye", {{"Bye", {1.0f, 20.0f, 15.0f, 9.0f}}}}};
  Start();
  Service.Complete(TOcrAsyncStatus::Completed, Recognised);
  Deliver();
  ASSERT_EQ(Results.size(), 1u);
  const TRtOcr::TResult& Result = Results[0];
  EXPECT_EQ(Data[0], &Marker);
  EXPECT_EQ(Result.Status, TRtOcr::stCompleted);
  EXPECT_EQ(Result.Text, "Hello world\nBye");
  EXPECT_EQ(Result.TextAngle, 1.5);
  ASSERT_EQ(Result.Lines.size(), 2u);
  EXPECT_EQ(Result.Lines[0].Text, "Hello world");
  ASSERT_EQ(Result.Lines[0].Words.size(), 2u);
  EXPECT_EQ(Result.Lines[0].Words[1].Text, "world");
  EXPECT_EQ(Result.Lines[0].Words[1].BoundingRect.X, 40.0f);
  EXPECT_EQ(Result.Lines[0].Words[1].BoundingRect.Width, 31.5f);
  EXPECT_EQ(Result.Lines[0].Words[0].BoundingRect.Y, 2.25f);
  EXPECT_EQ(Result.Lines[1].Words[0].BoundingRect.Height, 9.0f);
}

TEST_F(RtOcr, StatusMapping) {
  struct TCase {
    TOcrAsyncStatus Service;
    TRtOcr::TStatus Reported;
  };
  TOcrResult WithText;
  WithText.Text = "ignored";
  WithText.TextAngle = 3;
  WithText.Lines = {{"ignored", {{"ignored", {0, 0, 5, 5}}}}};
  for (const TCase& Case :
       {TCase{TOcrAsyncStatus::Completed, TRtOcr::stCompleted}, TCase{TOcrAsyncStatus::Canceled, TRtOcr::stCanceled},
        TCase{TOcrAsyncStatus::Error, TRtOcr::stError}}) {
    Results.clear();
    Start();
    TOcrResult NoAngle = WithText;
    NoAngle.TextAngle.reset();
    Service.Complete(Case.Service, NoAngle);
    Deliver();
    ASSERT_EQ(Results.size(), 1u);
    EXPECT_EQ(Results[0].Status, Case.Reported);
    EXPECT_EQ(Results[0].TextAngle, 0.0) << "no angle reported";
    if (Case.Reported != TRtOcr::stCompleted) {
      EXPECT_TRUE(Results[0].Lines.empty());
      EXPECT_TRUE(Results[0].Text.isEmpty());
    }
  }
}

TEST_F(RtOcr, ACompletionProcedureTakesTheResultInsteadOfTheEvent) {
  std::vector<TRtOcr::TStatus> Seen;
  Component->Recognize(
      AsComponentLanguage(English),
      [&](const TRtOcr::TResult& Result) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        Seen.push_back(Result.Status);
      },
      0, 0, 0, 0);
  Service.Complete(TOcrAsyncStatus::Canceled);
  Deliver();
  EXPECT_EQ(Seen, std::vector<TRtOcr::TStatus>{TRtOcr::stCanceled});
  EXPECT_TRUE(Results.empty());
}

TEST_F(RtOcr, WithoutAnyHandlerTheCompletionOnlyMakesItIdle) {
  Component->OnCompleted = nullptr;
  Start();
  Service.Complete(TOcrAsyncStatus::Completed);
  Deliver();
  EXPECT_FALSE(Component->Busy());
}

TEST_F(RtOcr, CloseCancelsButStaysBusyUntilTheCompletion) {
  Start();
  Component->Close();
  EXPECT_TRUE(Service.Operations[0]->CancelRequested());
  EXPECT_TRUE(Component->Busy());
  EXPECT_THROW(Start(), ERtOcrError);
  // The recognition had finished just before the close reached it.
  TOcrResult Late;
  Late.Lines = {{"late", {{"late", {0, 0, 5, 5}}}}};
  Service.Complete(TOcrAsyncStatus::Completed, Late);
  Deliver();
  ASSERT_EQ(Results.size(), 1u);
  EXPECT_EQ(Results[0].Status, TRtOcr::stCanceled);
  EXPECT_TRUE(Results[0].Lines.empty());
  EXPECT_FALSE(Component->Busy());
}

TEST_F(RtOcr, ALateCompletionAfterDestructionDoesNothing) {
  Start();
  const std::shared_ptr<TFakeOcrOperation> Operation = Service.Operations[0];
  Component.reset();
  EXPECT_TRUE(Operation->Closed());
  ASSERT_TRUE(Service.Complete(TOcrAsyncStatus::Completed));
  Deliver();
  EXPECT_TRUE(Results.empty());
}

} // namespace
