#include "OcrService.h"

#include "OcrImage.h"

#include "imaging/EnhancedRecognition.h"
#include "imaging/RecognitionGrey.h"
#include "ocr/tesseractocr.utils.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <nlohmann/json.hpp>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Lines and paragraphs Tesseract is less sure of than this are noise, the
// same cut as Korvex's own Tesseract engine.
constexpr float MinConfidence = 10.0f;

TServerReply ErrorReply(int Status, const std::string& Message) {
  return {Status, nlohmann::json{{"error", Message}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)};
}

struct TApiDeleter {
  void operator()(tesseract::TessBaseAPI* Api) const {
    Api->End();
    delete Api;
  }
};
using TApiPtr = std::unique_ptr<tesseract::TessBaseAPI, TApiDeleter>;

TApiPtr CreateApi(const TOcrOptions& Options) {
  TApiPtr Api(new tesseract::TessBaseAPI);
  const char* DataPath = Options.DataPath.empty() ? nullptr : Options.DataPath.c_str();
  if (Api->Init(DataPath, Options.Languages.c_str()) != 0)
    throw std::runtime_error("Tesseract cannot load the trained data for \"" + Options.Languages + "\" from " +
                             (DataPath ? "\"" + Options.DataPath + "\"" : std::string("its default tessdata folder")));
  return Api;
}

// A paragraph's lines become one text with single spaces between them; a
// line loses the newline Tesseract ends it with.
std::string CleanText(const char* Raw) {
  std::string Text(Raw);
  while (!Text.empty() && (Text.back() == '\n' || Text.back() == ' ' || Text.back() == '\r'))
    Text.pop_back();
  for (char& C : Text)
    if (C == '\n')
      C = ' ';
  return Text;
}

struct TJob {
  const std::string* Body;
  TImageHeader Header;
  bool Paragraph;
  bool Enhance;
  std::promise<TServerReply> Reply;
};

} // namespace

class TServerOcrService::TImpl {
public:
  TImpl(const TOcrOptions& Options, TOcrHooks Hooks)
      : FCapacity(std::max(Options.Workers, 1) + std::max(Options.QueueLimit, 0)), FPixelBudget(Options.PixelBudget),
        FHooks(std::move(Hooks)) {
    std::vector<TApiPtr> Apis;
    for (int I = 0; I < std::max(Options.Workers, 1); ++I)
      Apis.push_back(CreateApi(Options));
    try {
      for (TApiPtr& Api : Apis)
        FWorkers.emplace_back([this, Owned = std::move(Api)]() mutable { Work(*Owned); });
    } catch (...) {
      Stop();
      throw;
    }
  }

  ~TImpl() { Stop(); }

  TServerReply Recognize(const std::string& Body, bool Paragraph, bool Enhance) {
    auto Job = std::make_unique<TJob>();
    TImageRejection Rejection;
    if (!ReadImageHeader(Body, Job->Header, Rejection))
      return ErrorReply(Rejection.Status, Rejection.Message);
    Job->Body = &Body;
    Job->Paragraph = Paragraph;
    Job->Enhance = Enhance;
    std::future<TServerReply> Reply = Job->Reply.get_future();
    {
      std::lock_guard Lock(FMutex);
      if (FStopping)
        return ShuttingDown();
      if (FOutstanding >= FCapacity)
        return ErrorReply(503, "OCR is busy: every worker is recognising and the queue is full; try again");
      ++FOutstanding;
      FQueue.push_back(std::move(Job));
      // Under the lock: once it is released, the service may be destroyed
      // while this caller waits, so nothing of it is touched after.
      FWake.notify_one();
    }
    return Reply.get();
  }

  void Stop() {
    std::deque<std::unique_ptr<TJob>> Abandoned;
    {
      std::lock_guard Lock(FMutex);
      FStopping = true;
      FCancel = true;
      Abandoned.swap(FQueue);
    }
    FWake.notify_all();
    for (auto& Job : Abandoned)
      Job->Reply.set_value(ShuttingDown());
    if (FHooks.Stopping)
      FHooks.Stopping();
    for (std::thread& Worker : FWorkers)
      if (Worker.joinable())
        Worker.join();
  }

private:
  long long Pixels(const TJob& Job) const { return (long long)Job.Header.Width * Job.Header.Height; }

  static TServerReply ShuttingDown() { return ErrorReply(503, "OCR is shutting down; try again"); }

  void Work(tesseract::TessBaseAPI& Api) {
    tesseractocr::KeepOpenMPOnThisThread();
    // Recognition is the server's bulk work: at a lower priority it leaves
    // the processor to translations, whose Apertium stages each want a slice
    // at once. The threads it starts (Qt's for large pictures) inherit it.
    const id_t Self = id_t(::gettid());
    errno = 0;
    const int Nice = ::getpriority(PRIO_PROCESS, Self);
    if (errno == 0)
      ::setpriority(PRIO_PROCESS, Self, std::min(Nice + 10, 19));
    for (;;) {
      std::unique_ptr<TJob> Job;
      {
        // The request at the front waits until its pixels fit beside those
        // being recognised, so that decoding memory stays bounded in total;
        // alone, any picture the size limits pass is taken.
        std::unique_lock Lock(FMutex);
        FWake.wait(Lock, [this] {
          return FStopping ||
                 (!FQueue.empty() && (FPixelsInUse == 0 || FPixelsInUse + Pixels(*FQueue.front()) <= FPixelBudget));
        });
        if (FStopping)
          return;
        Job = std::move(FQueue.front());
        FQueue.pop_front();
        FPixelsInUse += Pixels(*Job);
      }
      TServerReply Reply;
      try {
        if (FHooks.BeforeWork)
          FHooks.BeforeWork();
        Reply = Run(Api, *Job);
      } catch (const std::exception& Error) {
        Reply = ErrorReply(500, std::string("OCR failed: ") + Error.what());
      } catch (...) {
        // Anything escaping here would end the process, not just the request.
        Reply = ErrorReply(500, "OCR failed");
      }
      {
        std::lock_guard Lock(FMutex);
        --FOutstanding;
        FPixelsInUse -= Pixels(*Job);
      }
      FWake.notify_all();
      // The caller may return and free its body the moment this is set.
      Job->Reply.set_value(std::move(Reply));
    }
  }

  TServerReply Run(tesseract::TessBaseAPI& Api, const TJob& Job) {
    QImage Image;
    TImageRejection Rejection;
    if (!DecodeImage(*Job.Body, Job.Header, Image, Rejection))
      return ErrorReply(Rejection.Status, Rejection.Message);
    const auto Level = Job.Paragraph ? tesseract::RIL_PARA : tesseract::RIL_TEXTLINE;
    bool Failed = false;
    auto RecognizePicture = [&](const QImage& Picture) {
      TRecognition Recognition;
      if (!Failed && !FCancel)
        Failed = !RecognizeOne(Api, Picture, Level, Recognition);
      return Recognition;
    };
    const TIteratorResultList Records =
        Job.Enhance ? RecognizeEnhanced(Image, RecognizePicture) : RecognizePicture(Image).Records;
    // The worker keeps no picture between requests.
    Api.Clear();
    if (FCancel)
      return ShuttingDown();
    if (Failed)
      return ErrorReply(500, "Tesseract could not recognise the picture");
    nlohmann::json Boxes = nlohmann::json::array();
    for (const TIteratorResult& Record : Records)
      Boxes.push_back({{"left", Record.Left},
                       {"top", Record.Top},
                       {"right", Record.Right},
                       {"bottom", Record.Bottom},
                       {"text", Record.Text.toStdString()}});
    return {200, Boxes.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)};
  }

  // Recognises one picture into the boxes of Level and the confidence of
  // every word; false when Tesseract fails on it.
  bool RecognizeOne(tesseract::TessBaseAPI& Api, const QImage& Picture, tesseract::PageIteratorLevel Level,
                    TRecognition& Recognition) {
    // The grey levels Tesseract would compute itself, as the desktop's
    // engine hands them over (see RecognitionGrey).
    const QImage Grey = RecognitionGrey(Picture);
    if (Grey.isNull())
      return false;
    Api.SetImage(Grey.constBits(), Grey.width(), Grey.height(), 1, int(Grey.bytesPerLine()));
    // Shutting down stops a long recognition instead of waiting for it.
    tesseract::ETEXT_DESC Monitor;
    Monitor.cancel = [](void* Stopping, int) { return static_cast<std::atomic<bool>*>(Stopping)->load(); };
    Monitor.cancel_this = &FCancel;
    if (Api.Recognize(&Monitor) != 0)
      return FCancel;
    std::unique_ptr<tesseract::ResultIterator> Iterator(Api.GetIterator());
    if (!Iterator)
      return true;
    do {
      if (Iterator->Empty(Level) || Iterator->Confidence(Level) <= MinConfidence)
        continue;
      std::unique_ptr<char[]> Raw(Iterator->GetUTF8Text(Level));
      if (!Raw)
        continue;
      std::string Text = CleanText(Raw.get());
      if (Text.empty())
        continue;
      TIteratorResult Record;
      Iterator->BoundingBox(Level, &Record.Left, &Record.Top, &Record.Right, &Record.Bottom);
      Record.Text = QString::fromStdString(Text);
      Recognition.Records.push_back(std::move(Record));
    } while (Iterator->Next(Level));
    Iterator.reset(Api.GetIterator());
    if (!Iterator)
      return true;
    do {
      if (Iterator->Empty(tesseract::RIL_WORD))
        continue;
      std::unique_ptr<char[]> Raw(Iterator->GetUTF8Text(tesseract::RIL_WORD));
      const QString Word = QString::fromUtf8(Raw ? Raw.get() : "");
      const int Letters = int(std::count_if(Word.begin(), Word.end(), [](QChar C) { return C.isLetterOrNumber(); }));
      TRect Box;
      if (Letters > 0 && Iterator->BoundingBox(tesseract::RIL_WORD, &Box.Left, &Box.Top, &Box.Right, &Box.Bottom))
        Recognition.Words.push_back(
            {Letters, Iterator->Confidence(tesseract::RIL_WORD), Iterator->WordIsFromDictionary(), Word, Box});
    } while (Iterator->Next(tesseract::RIL_WORD));
    return true;
  }

  const int FCapacity;
  const long long FPixelBudget;
  const TOcrHooks FHooks;
  long long FPixelsInUse = 0;
  std::mutex FMutex;
  std::condition_variable FWake;
  std::deque<std::unique_ptr<TJob>> FQueue;
  int FOutstanding = 0;
  bool FStopping = false;
  std::atomic<bool> FCancel = false;
  std::vector<std::thread> FWorkers;
};

TServerOcrService::TServerOcrService(const TOcrOptions& Options) : TServerOcrService(Options, {}) {}

TServerOcrService::TServerOcrService(const TOcrOptions& Options, TOcrHooks Hooks)
    : FImpl(std::make_unique<TImpl>(Options, std::move(Hooks))) {}

TServerOcrService::~TServerOcrService() = default;

TServerReply TServerOcrService::Recognize(const std::string& Body, bool Paragraph, bool Enhance) {
  return FImpl->Recognize(Body, Paragraph, Enhance);
}

void TServerOcrService::Shutdown() { FImpl->Stop(); }
