#include "platform/fake/FakeOcrService.h"

#include <thread>

namespace {

class TFakeRecognizer : public TOcrRecognizer {
public:
  TFakeRecognizer(TFakeOcrService& Service, TOcrLanguage Language)
      : FService(Service), FLanguage(std::move(Language)) {}
  std::shared_ptr<TOcrOperation> RecognizeAsync(std::shared_ptr<const TSoftwareBitmap> Bitmap) override {
    return FService.Operations.emplace_back(
        std::make_shared<TFakeOcrOperation>(FLanguage, std::move(Bitmap), FEnhance));
  }
  void SetEnhance(bool Enhance) override { FEnhance = Enhance; }

private:
  TFakeOcrService& FService;
  const TOcrLanguage FLanguage;
  bool FEnhance = false;
};

} // namespace

std::unique_ptr<TOcrRecognizer> TFakeOcrService::TryCreateFromLanguage(const TOcrLanguage& Language) {
  for (const TOcrLanguage& Offered : Languages)
    if (Offered.LanguageTag == Language.LanguageTag)
      return std::make_unique<TFakeRecognizer>(*this, Offered);
  return nullptr;
}

bool TFakeOcrService::Complete(TOcrAsyncStatus Status, TOcrResult Result) {
  for (const std::shared_ptr<TFakeOcrOperation>& Operation : Operations) {
    if (Operation->Status() != TOcrAsyncStatus::Started)
      continue;
    std::thread Worker([&] { Operation->End(Status, std::move(Result)); });
    Worker.join();
    return true;
  }
  return false;
}

int TFakeOcrService::Pending() const {
  int Count = 0;
  for (const std::shared_ptr<TFakeOcrOperation>& Operation : Operations)
    Count += Operation->Status() == TOcrAsyncStatus::Started;
  return Count;
}
