#pragma once

#include "platform/OcrOperation.h"
#include "platform/OcrService.h"

// One scripted recognition: it ends when the test says so.
class TFakeOcrOperation : public TOcrOperationState {
public:
  TFakeOcrOperation(TOcrLanguage Language, std::shared_ptr<const TSoftwareBitmap> Bitmap, bool Enhance = false)
      : FLanguage(std::move(Language)), FBitmap(std::move(Bitmap)), FEnhance(Enhance) {}
  // The language and the pixels the recognition was given.
  const TOcrLanguage& Language() const { return FLanguage; }
  const std::shared_ptr<const TSoftwareBitmap>& Bitmap() const { return FBitmap; }
  // Whether the recognition was asked to enhance the pixels first.
  bool Enhance() const { return FEnhance; }

private:
  TOcrLanguage FLanguage;
  std::shared_ptr<const TSoftwareBitmap> FBitmap;
  bool FEnhance = false;
};

// A recognition service for tests: offers the languages the test lists and
// keeps every recognition it starts waiting until the test ends it, on a
// thread of its own as a real service would.
class TFakeOcrService : public TOcrService {
public:
  std::vector<TOcrLanguage> Languages;

  std::vector<TOcrLanguage> AvailableRecognizerLanguages() override { return Languages; }
  // A recognizer for a listed tag.
  std::unique_ptr<TOcrRecognizer> TryCreateFromLanguage(const TOcrLanguage& Language) override;

  // Every recognition started, oldest first, ended or not.
  std::vector<std::shared_ptr<TFakeOcrOperation>> Operations;
  // Ends the oldest recognition still running with Status and Result, on a
  // worker thread that this call waits for. False when none runs.
  bool Complete(TOcrAsyncStatus Status, TOcrResult Result = {});
  int Pending() const;
};
