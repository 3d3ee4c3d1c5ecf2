#include "OcrImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <cstdint>
#include <cstdlib>

namespace {

uint32_t LittleEndian32(const std::string& Bytes, size_t At) {
  return uint32_t(uint8_t(Bytes[At])) | uint32_t(uint8_t(Bytes[At + 1])) << 8 | uint32_t(uint8_t(Bytes[At + 2])) << 16 |
         uint32_t(uint8_t(Bytes[At + 3])) << 24;
}

uint16_t LittleEndian16(const std::string& Bytes, size_t At) {
  return uint16_t(uint8_t(Bytes[At]) | uint8_t(Bytes[At + 1]) << 8);
}

uint32_t BigEndian32(const std::string& Bytes, size_t At) {
  return uint32_t(uint8_t(Bytes[At])) << 24 | uint32_t(uint8_t(Bytes[At + 1])) << 16 |
         uint32_t(uint8_t(Bytes[At + 2])) << 8 | uint32_t(uint8_t(Bytes[At + 3]));
}

const char* FormatName(TImageFormat Format) { return Format == TImageFormat::Bmp ? "BMP" : "PNG"; }

bool Reject(TImageRejection& Rejection, int Status, std::string Message) {
  Rejection = {Status, std::move(Message)};
  return false;
}

// BMP: a 14-byte file header, then an info header whose first field is its
// own size; the old 12-byte core header holds 16-bit sizes, every later one
// 32-bit sizes, with a negative height for rows stored top down.
struct TBmpLayout {
  long long Width = 0, Height = 0;
  uint32_t PixelOffset = 0;
  int BitsPerPixel = 0;
  bool Uncompressed = false;
};

bool ReadBmpLayout(const std::string& Body, TBmpLayout& Layout) {
  constexpr size_t FileHeader = 14;
  if (Body.size() < FileHeader + 4)
    return false;
  Layout.PixelOffset = LittleEndian32(Body, 10);
  const uint32_t InfoSize = LittleEndian32(Body, FileHeader);
  if (InfoSize == 12 && Body.size() >= FileHeader + 12) {
    Layout.Width = LittleEndian16(Body, FileHeader + 4);
    Layout.Height = LittleEndian16(Body, FileHeader + 6);
    Layout.BitsPerPixel = LittleEndian16(Body, FileHeader + 10);
    Layout.Uncompressed = true;
    return true;
  }
  if (InfoSize >= 40 && Body.size() >= FileHeader + 40) {
    Layout.Width = int32_t(LittleEndian32(Body, FileHeader + 4));
    Layout.Height = std::llabs(int32_t(LittleEndian32(Body, FileHeader + 8)));
    Layout.BitsPerPixel = LittleEndian16(Body, FileHeader + 14);
    // BI_RGB, BI_BITFIELDS and BI_ALPHABITFIELDS store whole rows; the run-length
    // kinds have no size to check in advance.
    const uint32_t Compression = LittleEndian32(Body, FileHeader + 16);
    Layout.Uncompressed = Compression == 0 || Compression == 3 || Compression == 6;
    return true;
  }
  return false;
}

// Qt's reader fills the rows missing from a cut file with whatever it has,
// so a short file is refused here before it gets there.
bool BmpIsComplete(const std::string& Body, const TBmpLayout& Layout, std::string& Problem) {
  if (Layout.BitsPerPixel != 1 && Layout.BitsPerPixel != 4 && Layout.BitsPerPixel != 8 && Layout.BitsPerPixel != 16 &&
      Layout.BitsPerPixel != 24 && Layout.BitsPerPixel != 32) {
    Problem = "broken BMP file: " + std::to_string(Layout.BitsPerPixel) + " bits a pixel";
    return false;
  }
  if (!Layout.Uncompressed)
    return true;
  const long long Stride = (Layout.Width * Layout.BitsPerPixel + 31) / 32 * 4;
  const long long Needed = Layout.PixelOffset + Stride * Layout.Height;
  if (static_cast<long long>(Body.size()) >= Needed)
    return true;
  Problem =
      "broken BMP file: " + std::to_string(Body.size()) + " bytes where its header needs " + std::to_string(Needed);
  return false;
}

// PNG: the 8-byte signature, then the IHDR chunk (length, type, width,
// height, all big-endian), which must come first.
bool ReadPngSize(const std::string& Body, long long& Width, long long& Height) {
  if (Body.size() < 24 || Body.compare(12, 4, "IHDR") != 0)
    return false;
  Width = BigEndian32(Body, 16);
  Height = BigEndian32(Body, 20);
  return true;
}

} // namespace

bool ReadImageHeader(const std::string& Body, TImageHeader& Header, TImageRejection& Rejection) {
  if (Body.empty())
    return Reject(Rejection, 400, "empty body: post the picture as a BMP or PNG file");
  long long Width = 0, Height = 0;
  bool Read = false;
  TBmpLayout Bmp;
  if (Body.starts_with("BM")) {
    Header.Format = TImageFormat::Bmp;
    Read = ReadBmpLayout(Body, Bmp);
    Width = Bmp.Width;
    Height = Bmp.Height;
  } else if (Body.starts_with("\x89PNG\r\n\x1a\n")) {
    Header.Format = TImageFormat::Png;
    Read = ReadPngSize(Body, Width, Height);
  } else {
    return Reject(Rejection, 415, "unsupported picture: the body is neither a BMP nor a PNG file");
  }
  const std::string Name = FormatName(Header.Format);
  if (!Read)
    return Reject(Rejection, 400, "broken " + Name + " file: its header is cut short or malformed");
  const std::string Size = std::to_string(Width) + " x " + std::to_string(Height);
  if (Width <= 0 || Height <= 0)
    return Reject(Rejection, 400, "empty " + Name + " picture: " + Size + " pixels");
  if (Width > MaxImageSide || Height > MaxImageSide || Width * Height > MaxImagePixels)
    return Reject(Rejection, 413,
                  "picture too large: " + Size + " pixels, at most " + std::to_string(MaxImageSide) +
                      " on a side and " + std::to_string(MaxImagePixels / 1'000'000) + " megapixels");
  std::string Problem;
  if (Header.Format == TImageFormat::Bmp && !BmpIsComplete(Body, Bmp, Problem))
    return Reject(Rejection, 400, Problem);
  Header.Width = int(Width);
  Header.Height = int(Height);
  return true;
}

bool DecodeImage(const std::string& Body, const TImageHeader& Header, QImage& Image, TImageRejection& Rejection) {
  // The reader works on the request's own bytes; nothing is copied.
  QByteArray Bytes = QByteArray::fromRawData(Body.data(), qsizetype(Body.size()));
  QBuffer Buffer(&Bytes);
  Buffer.open(QIODevice::ReadOnly);
  QImageReader Reader(&Buffer, Header.Format == TImageFormat::Bmp ? "bmp" : "png");
  Reader.setDecideFormatFromContent(false);
  Reader.setAutoTransform(false);
  // Qt's own limit (128 MB) would refuse pictures the size limits accept.
  Reader.setAllocationLimit(int((MaxImagePixels * 4 >> 20) + 16));
  QImage Decoded;
  const std::string Name = FormatName(Header.Format);
  if (!Reader.read(&Decoded) || Decoded.isNull())
    return Reject(Rejection, 400, "broken " + Name + " file: " + Reader.errorString().toStdString());
  // The decoder must agree with the header that passed the size limits.
  if (Decoded.width() != Header.Width || Decoded.height() != Header.Height)
    return Reject(Rejection, 400, "broken " + Name + " file: its header and its pixels disagree on the size");
  Image = Decoded.convertToFormat(QImage::Format_RGBA8888);
  if (Image.isNull())
    return Reject(Rejection, 500, "out of memory while converting the picture");
  return true;
}
