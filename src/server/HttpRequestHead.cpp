#include "server/HttpRequestHead.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string_view>

namespace {

using EKind = THeadResult::EKind;

THeadResult Refused(int Status, std::string Message) { return {EKind::Refused, Status, std::move(Message)}; }

std::string_view Trim(std::string_view Text) {
  while (!Text.empty() && (Text.front() == ' ' || Text.front() == '\t'))
    Text.remove_prefix(1);
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '\t'))
    Text.remove_suffix(1);
  return Text;
}

bool SameName(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return std::tolower(static_cast<unsigned char>(X)) == std::tolower(static_cast<unsigned char>(Y));
         });
}

// Follows the chunks of a body from where the last call stopped.
EKind ScanChunks(const std::string& In, THttpRequestHead& Head, size_t MaxBodyBytes, THeadResult& Refusal) {
  for (;;) {
    const size_t LineEnd = In.find("\r\n", Head.ChunkScan);
    if (LineEnd == std::string::npos) {
      if (In.size() - Head.ChunkScan > 1024) {
        Refusal = Refused(400, "malformed chunked body: a chunk size line is too long");
        return EKind::Refused;
      }
      return EKind::Incomplete;
    }
    size_t Size = 0;
    const char* Start = In.data() + Head.ChunkScan;
    const auto [End, Error] = std::from_chars(Start, In.data() + LineEnd, Size, 16);
    if (Error != std::errc() || End == Start || (End != In.data() + LineEnd && *End != ';' && *End != ' ')) {
      Refusal = Refused(400, "malformed chunked body: a chunk size is not a hexadecimal number");
      return EKind::Refused;
    }
    if (Size > MaxBodyBytes - Head.ChunkData) {
      Refusal = Refused(413, "the request body is larger than " + std::to_string(MaxBodyBytes >> 20) + " MiB");
      return EKind::Refused;
    }
    if (Size == 0) {
      // The trailer: header lines up to an empty one.
      for (size_t Line = LineEnd + 2;;) {
        const size_t Next = In.find("\r\n", Line);
        if (Next == std::string::npos) {
          if (In.size() - Line > MaxHeadBytes) {
            Refusal = Refused(431, "the chunked body's trailer is too long");
            return EKind::Refused;
          }
          return EKind::Incomplete;
        }
        if (Next == Line) {
          Head.RequestBytes = Next + 2;
          return EKind::Complete;
        }
        Line = Next + 2;
      }
    }
    const size_t DataEnd = LineEnd + 2 + Size;
    if (In.size() < DataEnd + 2)
      return EKind::Incomplete;
    if (In.compare(DataEnd, 2, "\r\n") != 0) {
      Refusal = Refused(400, "malformed chunked body: a chunk is longer than its size");
      return EKind::Refused;
    }
    Head.ChunkData += Size;
    Head.ChunkScan = DataEnd + 2;
  }
}

} // namespace

THeadResult ReadRequestHead(std::string& In, THttpRequestHead& Head, size_t MaxBodyBytes) {
  bool AskedContinue = false;
  if (Head.HeadBytes == 0) {
    // Empty lines before a request are allowed and mean nothing.
    const size_t First = In.find_first_not_of("\r\n");
    In.erase(0, First == std::string::npos ? In.size() : First);
    const size_t End = In.find("\r\n\r\n");
    if (End == std::string::npos) {
      if (In.size() > MaxHeadBytes)
        return Refused(431, "the request line and headers are longer than " + std::to_string(MaxHeadBytes) + " bytes");
      return {};
    }
    if (End + 4 > MaxHeadBytes)
      return Refused(431, "the request line and headers are longer than " + std::to_string(MaxHeadBytes) + " bytes");
    const std::string_view Text(In.data(), End + 2);
    const size_t LineEnd = Text.find("\r\n");
    const std::string_view RequestLine = Text.substr(0, LineEnd);
    const size_t Space = RequestLine.find(' ');
    const std::string_view Method = RequestLine.substr(0, Space);
    std::string_view Target = Space == std::string_view::npos ? std::string_view() : RequestLine.substr(Space + 1);
    Target = Target.substr(0, Target.find(' '));
    Target = Target.substr(0, Target.find('?'));
    Head.Ocr = Method == "POST" && Target == "/ocr";

    bool HasLength = false;
    bool HasEncoding = false;
    size_t ExpectLine = std::string::npos, ExpectLineEnd = 0;
    for (size_t Line = LineEnd + 2; Line < Text.size();) {
      const size_t Next = Text.find("\r\n", Line);
      const std::string_view Header = Text.substr(Line, Next - Line);
      const size_t Colon = Header.find(':');
      if (Colon != std::string_view::npos) {
        const std::string_view Name = Header.substr(0, Colon);
        const std::string_view Value = Trim(Header.substr(Colon + 1));
        if (SameName(Name, "Content-Length")) {
          size_t Length = 0;
          const auto [Stop, Error] = std::from_chars(Value.data(), Value.data() + Value.size(), Length);
          if (Error == std::errc::result_out_of_range)
            Length = SIZE_MAX;
          else if (Error != std::errc() || Stop != Value.data() + Value.size())
            return Refused(400, "Content-Length is not a number");
          if (HasLength && Length != Head.ContentLength)
            return Refused(400, "two different Content-Length headers");
          HasLength = true;
          Head.ContentLength = Length;
        } else if (SameName(Name, "Transfer-Encoding")) {
          if (!SameName(Value, "chunked"))
            return Refused(501, "the only transfer coding taken is \"chunked\"");
          HasEncoding = true;
        } else if (SameName(Name, "Expect") && SameName(Value, "100-continue")) {
          ExpectLine = Line;
          ExpectLineEnd = Next + 2;
        }
      }
      Line = Next + 2;
    }
    if (HasLength && HasEncoding)
      return Refused(400, "a request with both Content-Length and Transfer-Encoding");
    Head.Chunked = HasEncoding;
    Head.HeadBytes = End + 4;
    if (ExpectLine != std::string::npos) {
      In.erase(ExpectLine, ExpectLineEnd - ExpectLine);
      Head.HeadBytes -= ExpectLineEnd - ExpectLine;
      AskedContinue = true;
    }
    Head.ChunkScan = Head.HeadBytes;
    if (!Head.Chunked && Head.ContentLength > MaxBodyBytes) {
      // Left to the library, which refuses it by its announced length.
      Head.BodySkipped = true;
      Head.RequestBytes = Head.HeadBytes;
      return {EKind::Complete, 0, {}};
    }
  }
  EKind Kind = EKind::Incomplete;
  THeadResult Refusal;
  if (Head.Chunked) {
    Kind = ScanChunks(In, Head, MaxBodyBytes, Refusal);
    if (Kind == EKind::Refused)
      return Refusal;
  } else if (In.size() >= Head.HeadBytes + Head.ContentLength) {
    Head.RequestBytes = Head.HeadBytes + Head.ContentLength;
    Kind = EKind::Complete;
  }
  if (Kind == EKind::Incomplete && AskedContinue)
    Kind = EKind::SendContinue;
  return {Kind, 0, {}};
}
