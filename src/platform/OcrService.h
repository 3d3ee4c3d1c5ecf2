#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

// The desktop's own text recogniser, shaped like the operating-system OCR
// services that Korvex's OCR component was written against: a list of
// recognizer languages, a recognizer per language, and an asynchronous
// recognition of a BGRA bitmap that reports its end on a worker thread.
// Header only: the folders above use these types without linking the
// desktop's implementation.

// A failed call into the service, with its result code. The message is
// "Error $" + the code as eight hexadecimal digits + ": " + the reason.
class EOcrServiceError : public std::runtime_error {
public:
  EOcrServiceError(uint32_t ErrorCode, const QString& Reason)
      : std::runtime_error(
            QStringLiteral("Error $%1: %2")
                .arg(QString::number(ErrorCode, 16).toUpper().rightJustified(8, QLatin1Char('0')), Reason)
                .toStdString()),
        FErrorCode(ErrorCode) {}
  uint32_t FErrorCode;
};

// Result codes of EOcrServiceError, with the values other OCR services use.
namespace OcrServiceCode {
inline constexpr uint32_t InvalidArgument = 0x80070057;   // a bad size or format
inline constexpr uint32_t IllegalMethodCall = 0x8000000E; // not allowed in the operation's state
inline constexpr uint32_t OutOfMemory = 0x8007000E;
} // namespace OcrServiceCode

struct TOcrLanguage {
  QString LanguageTag; // BCP-47, for example "en-US"
  QString DisplayName; // in the user's language, for example "English (United States)"
  QString NativeName;  // in the language itself, for example "한국어 (대한민국)"
  QString Script;      // the script's name, for example "Latin"
  friend bool operator==(const TOcrLanguage&, const TOcrLanguage&) = default;
};

enum class TOcrPixelFormat : int32_t { Bgra8 = 87 };

// Pixels handed to a recognizer: rows packed one after the other, four
// bytes a pixel (blue, green, red and a fourth byte that nothing reads).
class TSoftwareBitmap {
public:
  // Throws EOcrServiceError InvalidArgument for a size below 1 x 1 and
  // OutOfMemory for one of 2 GiB or more.
  static std::shared_ptr<TSoftwareBitmap> Create(TOcrPixelFormat Format, int32_t Width, int32_t Height) {
    if (Format != TOcrPixelFormat::Bgra8)
      throw EOcrServiceError(OcrServiceCode::InvalidArgument, QStringLiteral("Unsupported pixel format"));
    if (Width < 1 || Height < 1)
      throw EOcrServiceError(OcrServiceCode::InvalidArgument, QStringLiteral("The bitmap size is invalid"));
    if (int64_t{Width} * Height * 4 > std::numeric_limits<int32_t>::max())
      throw EOcrServiceError(OcrServiceCode::OutOfMemory, QStringLiteral("The bitmap is too large"));
    return std::shared_ptr<TSoftwareBitmap>(new TSoftwareBitmap(Format, Width, Height));
  }

  TOcrPixelFormat Format() const { return FFormat; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  // Width * 4: there is no padding between rows.
  int32_t BytesPerLine() const { return FWidth * 4; }
  std::size_t Size() const { return FBuffer.size(); }
  uint8_t* Buffer() { return FBuffer.data(); }
  const uint8_t* Buffer() const { return FBuffer.data(); }

private:
  TSoftwareBitmap(TOcrPixelFormat Format, int32_t Width, int32_t Height)
      : FFormat(Format), FWidth(Width), FHeight(Height), FBuffer(std::size_t(Width) * std::size_t(Height) * 4) {}

  TOcrPixelFormat FFormat;
  int32_t FWidth;
  int32_t FHeight;
  std::vector<uint8_t> FBuffer;
};

// A rectangle in pixels of the recognised bitmap, origin top left.
struct TOcrRect {
  float X = 0;
  float Y = 0;
  float Width = 0;
  float Height = 0;
  friend bool operator==(const TOcrRect&, const TOcrRect&) = default;
};

struct TOcrWord {
  QString Text;
  TOcrRect BoundingRect;
};

struct TOcrLine {
  QString Text; // the words joined by spaces
  std::vector<TOcrWord> Words;
};

struct TOcrResult {
  std::vector<TOcrLine> Lines;
  std::optional<double> TextAngle; // none when the recognizer does not measure it
  QString Text;                    // the lines joined by line breaks
};

enum class TOcrAsyncStatus { Started, Completed, Canceled, Error };

// One recognition in flight. It ends exactly once, with Completed, Canceled
// or Error, and then calls its completion handler on a thread of the service
// (at once, on the caller's thread, when the handler is set after the end).
class TOcrOperation {
public:
  using TCompletedHandler = std::function<void(TOcrOperation& Operation, TOcrAsyncStatus Status)>;

  virtual ~TOcrOperation() = default;

  // Once per operation; a second handler throws IllegalMethodCall.
  virtual void SetCompleted(TCompletedHandler Handler) = 0;
  virtual TOcrAsyncStatus Status() const = 0;
  // The result of a Completed operation that has not been closed; anything
  // else throws IllegalMethodCall.
  virtual TOcrResult GetResults() = 0;
  // Asks a running recognition to stop; it then ends Canceled. No effect
  // once it has ended.
  virtual void Cancel() = 0;
  // Cancels a running recognition and drops the result. The completion
  // handler still runs when the operation ends.
  virtual void Close() = 0;
};

// A recognizer of one language.
class TOcrRecognizer {
public:
  virtual ~TOcrRecognizer() = default;
  // Starts the recognition and returns at once. The operation does not
  // depend on the recognizer, which may be destroyed before it ends; the
  // service keeps Bitmap alive until then.
  virtual std::shared_ptr<TOcrOperation> RecognizeAsync(std::shared_ptr<const TSoftwareBitmap> Bitmap) = 0;
  // Whether recognitions started from now on enhance hard screen text before
  // recognising it, boxes staying in the bitmap's pixels. Recognizers that
  // cannot enhance ignore it; none enhances until told to.
  virtual void SetEnhance(bool Enhance) { (void)Enhance; }
};

class TOcrService {
public:
  virtual ~TOcrService() = default;
  // The languages the service recognises, always in the same order.
  virtual std::vector<TOcrLanguage> AvailableRecognizerLanguages() = 0;
  // A recognizer for the language of that tag; none when it is not offered.
  virtual std::unique_ptr<TOcrRecognizer> TryCreateFromLanguage(const TOcrLanguage& Language) = 0;
};
