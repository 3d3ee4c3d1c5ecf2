// Word accuracy of recognition on rendered screen text with known truth
// (tests/support/ScreenTextPictures.h): for every class of picture, Korvex's
// Tesseract engine with enhancement on beside the bare library on the same
// pixels, at 9 px and above and at 8 px, with the stray words (none of the
// text's) each shows on top and the time per picture. Then the
// 800 x 200 four-line picture, enhancement on beside off. Deterministic.
//
//   build/bench/ocr/accuracy_bench [--seeds N] [--first-seed N] [--class NAME-PART] [--size PX]...
//                                  [--dump FOLDER] [--details]
#include "ocr/TesseractEngine.h"
#include "ocr/tesseractocr.h"
#include "ocr/tesseractocr.utils.h"
#include "support/BareTesseract.h"
#include "support/ScreenTextPictures.h"
#include "support/TextImages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const QString RuntimeDir = QStringLiteral(KORVEX_RUNTIME_DIR);
constexpr int Sizes[] = {8, 9, 10, 11, 12, 13, 14, 16};

struct TTally {
  double Accuracy = 0;
  int Pictures = 0, Stray = 0;
  double Milliseconds = 0;
  void Add(const TWordMatch& Match, double Ms) {
    Accuracy += Match.Accuracy();
    Stray += Match.Stray();
    Milliseconds += Ms;
    ++Pictures;
  }
  double Mean() const { return Pictures ? Accuracy / Pictures : 0; }
  double StrayPerPicture() const { return Pictures ? double(Stray) / Pictures : 0; }
  double Time() const { return Pictures ? Milliseconds / Pictures : 0; }
};

QString Joined(const TIteratorResultList& Records) {
  QStringList Texts;
  for (const TIteratorResult& Record : Records)
    Texts << Record.Text;
  return Texts.join(QLatin1Char(' '));
}

QString Joined(const std::vector<TBareLine>& Lines) {
  QStringList Texts;
  for (const TBareLine& Line : Lines)
    Texts << QString::fromStdString(Line.Text);
  return Texts.join(QLatin1Char(' '));
}

double MedianMilliseconds(int Runs, const std::function<void()>& Work) {
  std::vector<double> Times;
  for (int I = 0; I < Runs; ++I) {
    QElapsedTimer Timer;
    Timer.start();
    Work();
    Times.push_back(Timer.nsecsElapsed() / 1e6);
  }
  std::sort(Times.begin(), Times.end());
  return Times[Times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
  tesseractocr::LimitOpenMPThreads(argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication App(argc, argv);

  int Seeds = 4, FirstSeed = 0;
  QString ClassFilter, DumpFolder;
  bool Details = false;
  std::vector<int> OnlySizes; // every size when empty
  for (int I = 1; I < argc; ++I) {
    if (!std::strcmp(argv[I], "--seeds") && I + 1 < argc)
      Seeds = std::max(1, std::atoi(argv[++I]));
    else if (!std::strcmp(argv[I], "--first-seed") && I + 1 < argc)
      FirstSeed = std::max(0, std::atoi(argv[++I]));
    else if (!std::strcmp(argv[I], "--class") && I + 1 < argc)
      ClassFilter = QString::fromLocal8Bit(argv[++I]);
    else if (!std::strcmp(argv[I], "--dump") && I + 1 < argc)
      DumpFolder = QString::fromLocal8Bit(argv[++I]);
    else if (!std::strcmp(argv[I], "--size") && I + 1 < argc)
      OnlySizes.push_back(std::atoi(argv[++I]));
    else if (!std::strcmp(argv[I], "--details"))
      Details = true;
    else {
      std::fprintf(
          stderr,
          "usage: accuracy_bench [--seeds N] [--first-seed N] [--class NAME-PART] [--size PX]... [--dump FOLDER] "
          "[--details]\n");
      return 2;
    }
  }

  std::unique_ptr<TTesseractEngine> Engine;
  try {
    auto Tesseract = std::make_unique<TTesseractOCR5>(RuntimeDir + "/Tesseract/");
    if (!Tesseract->Initialize(RuntimeDir + "/tessdata/", "eng")) {
      std::fprintf(stderr, "accuracy_bench: cannot load the trained data from %s/tessdata/\n", qPrintable(RuntimeDir));
      return 1;
    }
    Engine = std::make_unique<TTesseractEngine>(std::move(Tesseract));
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "accuracy_bench: %s\n", Error.what());
    return 1;
  }
  TBareTesseract Bare;
  if (!Bare.Init(RuntimeDir + "/tessdata/"))
    return 1;
  if (!DumpFolder.isEmpty())
    QDir().mkpath(DumpFolder);

  std::printf("Word accuracy per class (%d pictures per size, sizes 8-16 px, fonts %s)\n", Seeds,
              qPrintable(ScreenTextFonts().join(QStringLiteral(", "))));
  std::printf("Stray: words per picture that are none of the text's (>= 9 px)\n");
  std::printf("%-28s  %8s %8s  %8s %8s  %7s %7s  %9s %9s\n", "", ">=9px", "", "8px", "", "stray", "", "ms/picture", "");
  std::printf("%-28s  %8s %8s  %8s %8s  %7s %7s  %9s %9s\n", "class", "Korvex", "bare", "Korvex", "bare", "Korvex",
              "bare", "Korvex", "bare");
  TTally AllKorvex, AllBare;
  for (TScreenTextClass Class : AllScreenTextClasses) {
    const QString Name = QString::fromLatin1(ScreenTextClassName(Class));
    if (!ClassFilter.isEmpty() && !Name.contains(ClassFilter, Qt::CaseInsensitive))
      continue;
    TTally Korvex9, Bare9, Korvex8, Bare8;
    for (int Size : Sizes)
      for (int Seed = FirstSeed; Seed < FirstSeed + Seeds; ++Seed) {
        if (!OnlySizes.empty() && std::find(OnlySizes.begin(), OnlySizes.end(), Size) == OnlySizes.end())
          continue;
        const TScreenTextPicture Picture = RenderScreenText(Class, Size, uint64_t(Seed), Seed);
        const QImage Rgba = Picture.Image.convertToFormat(QImage::Format_RGBA8888);
        QElapsedTimer Timer;
        Timer.start();
        const QString BareText = Joined(Bare.Recognize(Rgba));
        const double BareMs = Timer.nsecsElapsed() / 1e6;
        Timer.restart();
        Engine->SetEnhance(true);
        const QString KorvexText = Joined(Engine->RecognizeLines(Picture.Image));
        const double KorvexMs = Timer.nsecsElapsed() / 1e6;
        const TWordMatch BareMatch = MatchWords(Picture.Lines, BareText);
        const TWordMatch KorvexMatch = MatchWords(Picture.Lines, KorvexText);
        const double BareAccuracy = BareMatch.Accuracy(), KorvexAccuracy = KorvexMatch.Accuracy();
        (Size >= 9 ? Bare9 : Bare8).Add(BareMatch, BareMs);
        (Size >= 9 ? Korvex9 : Korvex8).Add(KorvexMatch, KorvexMs);
        AllBare.Add(BareMatch, BareMs);
        AllKorvex.Add(KorvexMatch, KorvexMs);
        if (Details) {
          std::printf("    %2d px seed %d: Korvex %.2f bare %.2f | %s | %s\n", Size, Seed, KorvexAccuracy, BareAccuracy,
                      qPrintable(KorvexText.simplified()), qPrintable(BareText.simplified()));
          for (const TEnhancedPicture& Enhanced : EnhanceForRecognition(Picture.Image)) {
            const TRecognition Recognition = Engine->RecognizePicture(Enhanced.Image);
            std::printf("        %-11s x%d: accuracy %.2f score %6.1f | %s\n", Enhanced.Method, Enhanced.Scale,
                        WordAccuracy(Picture.Lines, Joined(Recognition.Records)), RecognitionScore(Recognition),
                        qPrintable(Joined(Recognition.Records).simplified()));
          }
        }
        if (!DumpFolder.isEmpty()) {
          const QString Stem =
              QStringLiteral("%1/%2-%3px-%4")
                  .arg(DumpFolder, QString::number(int(Class)), QString::number(Size), QString::number(Seed));
          Picture.Image.save(Stem + QStringLiteral(".png"));
          for (const TEnhancedPicture& Enhanced : EnhanceForRecognition(Picture.Image))
            Enhanced.Image.save(Stem + QStringLiteral("-%1.png").arg(QLatin1String(Enhanced.Method)));
        }
      }
    std::printf("%-28s  %8.2f %8.2f  %8.2f %8.2f  %7.1f %7.1f  %9.0f %9.0f\n", qPrintable(Name), Korvex9.Mean(),
                Bare9.Mean(), Korvex8.Mean(), Bare8.Mean(), Korvex9.StrayPerPicture(), Bare9.StrayPerPicture(),
                (Korvex9.Milliseconds + Korvex8.Milliseconds) / (Korvex9.Pictures + Korvex8.Pictures),
                (Bare9.Milliseconds + Bare8.Milliseconds) / (Bare9.Pictures + Bare8.Pictures));
    std::fflush(stdout);
  }
  std::printf("%-28s  %8.2f %8.2f  %18s %7.1f %7.1f  %9.0f %9.0f\n", "all pictures", AllKorvex.Mean(), AllBare.Mean(),
              "", AllKorvex.StrayPerPicture(), AllBare.StrayPerPicture(), AllKorvex.Time(), AllBare.Time());

  // The four-line picture the other recognition benchmarks measure: plain
  // text, where enhancement must cost little.
  const QImage FourLines = FourLineBenchmarkPicture();
  auto Recognise = [&](bool Enhance) {
    Engine->SetEnhance(Enhance);
    return Engine->RecognizeLines(FourLines);
  };
  const bool SameText = Joined(Recognise(true)) == Joined(Recognise(false));
  constexpr int Runs = 9;
  double On = 0, Off = 0;
  for (int Round = 0; Round < 2; ++Round) { // alternated, so other load falls on both alike
    Off += MedianMilliseconds(Runs, [&] { Recognise(false); });
    On += MedianMilliseconds(Runs, [&] { Recognise(true); });
  }
  const double Analysis = MedianMilliseconds(Runs, [&] { EnhanceForRecognition(FourLines); });
  std::printf("\n800 x 200 four-line picture, median of %d runs: enhancement on %.1f ms, off %.1f ms, ratio %.2f "
              "(target <= 1.5); same text: %s; the enhancer's analysis alone %.1f ms\n",
              Runs, On / 2, Off / 2, On / Off, SameText ? "yes" : "NO", Analysis);
  QStringList ScreenLines;
  for (int I = 0; I < 27; ++I)
    ScreenLines << QStringLiteral("Line %1 of a full screen of plain text that Korvex reads at once").arg(I + 1);
  const QImage FullScreen = RenderTextLines(ScreenLines, 1920, 40, 20);
  std::printf("The enhancer's analysis of a 1920 x 1080 capture of plain text: %.1f ms\n",
              MedianMilliseconds(3, [&] { EnhanceForRecognition(FullScreen); }));
  return 0;
}
