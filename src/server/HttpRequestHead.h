#pragma once

// Where an HTTP/1.1 request ends in the bytes received so far, read before
// the request is handed to a thread: the request line, the headers that
// frame the body (Content-Length, Transfer-Encoding, Expect) and the body's
// extent. Everything else is left to the HTTP library.

#include <cstddef>
#include <string>

struct THttpRequestHead {
  size_t HeadBytes = 0;     // the request line and headers with the empty line; 0 until they have arrived
  size_t ContentLength = 0; // as announced; 0 for a chunked body
  bool Chunked = false;
  bool BodySkipped = false; // the announced body is over the limit and is not read; the library refuses it
  bool Ocr = false;         // POST /ocr
  size_t RequestBytes = 0;  // the whole request, once complete
  // How far a chunked body has been followed.
  size_t ChunkScan = 0;
  size_t ChunkData = 0;
};

struct THeadResult {
  enum class EKind {
    Incomplete,   // more bytes are needed
    SendContinue, // the headers asked for "100 Continue" before the body
    Complete,     // Head.RequestBytes bytes hold the request
    Refused       // answer Status with Message and end the connection
  };
  EKind Kind = EKind::Incomplete;
  int Status = 0;
  std::string Message;
};

// The longest request line and headers taken.
inline constexpr size_t MaxHeadBytes = 64 * 1024;

// Follows the request at the front of In, resuming from what Head already
// holds. An "Expect: 100-continue" header is taken out of In, as the answer
// to it is the caller's to send.
THeadResult ReadRequestHead(std::string& In, THttpRequestHead& Head, size_t MaxBodyBytes);
