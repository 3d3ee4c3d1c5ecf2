#pragma once

// POST /ocr: recognition of a posted picture by a pool of Tesseract workers.
//
// Each worker is one thread and keeps Tesseract's OpenMP regions on itself
// (tesseractocr::KeepOpenMPOnThisThread), so no request starts threads that
// compete with the other workers, whatever OMP_THREAD_LIMIT says.

#include "server/ServerReply.h"

#include <functional>
#include <memory>
#include <string>

struct TOcrOptions {
  std::string Languages = "eng"; // Tesseract language string, e.g. "eng+kor"
  std::string DataPath;          // tessdata folder; empty: the library's default
  int Workers = 2;               // threads, each with its own Tesseract instance
  int QueueLimit = 8;            // requests waiting beyond the busy workers; more answer 503 at once
  // Pixels decoded and recognised at once over all workers; a picture that
  // would pass it waits until it fits, or until no other is recognised.
  long long PixelBudget = 60'000'000;
};

// Points where tests hold or watch the workers; empty in the server.
struct TOcrHooks {
  std::function<void()> BeforeWork; // on a worker, for each request it takes, before decoding
  std::function<void()> Stopping;   // in the destructor, once the queue is closed, before the join
};

class TServerOcrService {
public:
  // Throws std::runtime_error with a clear message when Tesseract cannot initialise.
  explicit TServerOcrService(const TOcrOptions& Options);
  TServerOcrService(const TOcrOptions& Options, TOcrHooks Hooks);
  // Answers the requests still queued with 503, cancels those being
  // recognised and joins the workers.
  ~TServerOcrService();
  TServerOcrService(const TServerOcrService&) = delete;
  TServerOcrService& operator=(const TServerOcrService&) = delete;

  // Body: the posted picture (a BMP file, or PNG); Paragraph: the request's
  // "paragraph" header was "True"; Enhance: the picture is enhanced before
  // recognition (imaging/EnhancedRecognition.h), boxes staying in the posted
  // picture's pixels. Blocks the calling (HTTP) thread until a worker has
  // answered: 200 with a JSON array of {"left", "top", "right", "bottom",
  // "text"} in reading order, or an error status with {"error": ...}.
  TServerReply Recognize(const std::string& Body, bool Paragraph, bool Enhance = true);

  // What the destructor does, ahead of it: requests waiting and those being
  // recognised are answered 503 at once, later ones too.
  void Shutdown();

private:
  class TImpl;
  std::unique_ptr<TImpl> FImpl;
};
