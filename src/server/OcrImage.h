#pragma once

// The picture of a POST /ocr request: a BMP file (what Korvex sends, under
// the PNG media type) or a PNG file, checked before any pixel is decoded.

#include <QImage>

#include <string>

// A request the service refuses, with the HTTP status and the message of
// the {"error": ...} reply.
struct TImageRejection {
  int Status = 400;
  std::string Message;
};

enum class TImageFormat { Bmp, Png };

struct TImageHeader {
  TImageFormat Format = TImageFormat::Bmp;
  int Width = 0;
  int Height = 0;
};

// Largest picture accepted, far above any screen. The reader's allocation
// limit is raised to hold it at four bytes a pixel (DecodeImage).
constexpr int MaxImageSide = 16384;
constexpr long long MaxImagePixels = 60'000'000;

// Reads the format and size from the first bytes of Body alone and checks
// them against the limits. Returns false and fills Rejection when the body
// is refused.
bool ReadImageHeader(const std::string& Body, TImageHeader& Header, TImageRejection& Rejection);

// Decodes Body, whose header ReadImageHeader accepted, into RGBA bytes
// (Format_RGBA8888, the byte order Tesseract's SetImage reads at four bytes a
// pixel). Returns false and fills Rejection when the pixels cannot be read.
bool DecodeImage(const std::string& Body, const TImageHeader& Header, QImage& Image, TImageRejection& Rejection);
