#include "server/KorvexServer.h"

#include <sys/socket.h>

namespace {

void Send(httplib::Response& Response, const TServerReply& Reply) {
  Response.status = Reply.Status;
  Response.set_content(Reply.Body, "application/json; charset=utf-8");
}

// Why the library refused a request, in words. It takes a body sent as a
// form (curl's default for --data) only up to FormBodyBytes, whatever the
// limit for other bodies.
constexpr size_t FormBodyBytes = CPPHTTPLIB_FORM_URL_ENCODED_PAYLOAD_MAX_LENGTH;

std::string RefusalMessage(const httplib::Request& Request, int Status) {
  if (Status == 413 && Request.get_header_value("Content-Type").starts_with("application/x-www-form-urlencoded"))
    return "a request body sent as a form is limited to " + std::to_string(FormBodyBytes) +
           " bytes: send JSON to /translate and a picture's bytes to /ocr with another Content-Type "
           "(application/json, application/octet-stream)";
  if (Status == 413)
    return "the request body is larger than " + std::to_string(MaxRequestBytes >> 20) + " MiB";
  if (Status == 404)
    return "no such route: use POST /translate, POST /ocr or GET /health";
  return "the request was refused with status " + std::to_string(Status);
}

} // namespace

TKorvexServer::TKorvexServer(TTranslateService& Translate, TOcrHandler Ocr)
    : FTranslate(Translate), FOcr(std::move(Ocr)) {
  FServer.set_payload_max_length(MaxRequestBytes);
  // The library listens with a backlog of 5. A burst of clients then overflows
  // the accept queue, and a connection left half open that way can miss the
  // read time-out and be closed unanswered; Bind widens the queue.
  FServer.set_socket_options([this](socket_t Socket) {
    const int Yes = 1;
    ::setsockopt(Socket, SOL_SOCKET, SO_REUSEADDR, &Yes, sizeof Yes);
    FListenSocket = Socket;
  });
  // Replies are small; without this the delayed ACK holds each one back ~40 ms.
  FServer.set_tcp_nodelay(true);
  FServer.Post("/translate", [this](const httplib::Request& Request, httplib::Response& Response) {
    Send(Response, FTranslate.Translate(Request.body));
  });
  FServer.Get("/health", [this](const httplib::Request&, httplib::Response& Response) {
    Send(Response, FTranslate.Health(static_cast<bool>(FOcr)));
  });
  FServer.Post("/ocr", [this](const httplib::Request& Request, httplib::Response& Response) {
    if (!FOcr)
      return Send(Response, ErrorReply(503, "OCR is not available in this korvex-server"));
    Send(Response, FOcr(Request.body, Request.get_header_value("paragraph") == "True",
                        Request.get_header_value("enhance") != "False"));
  });
  // A handler that throws must cost one request, never the server.
  FServer.set_exception_handler([](const httplib::Request&, httplib::Response& Response, std::exception_ptr Error) {
    std::string What = "unknown error";
    try {
      std::rethrow_exception(Error);
    } catch (const std::exception& E) {
      What = E.what();
    } catch (...) {
    }
    Send(Response, ErrorReply(500, "internal error: " + What));
  });
  FServer.set_error_handler([](const httplib::Request& Request, httplib::Response& Response) {
    if (Response.body.empty())
      Send(Response, ErrorReply(Response.status, RefusalMessage(Request, Response.status)));
  });
}

int TKorvexServer::Bind(const std::string& Host, int Port) {
  const int Bound = Port == 0 ? FServer.bind_to_any_port(Host) : (FServer.bind_to_port(Host, Port) ? Port : -1);
  if (Bound > 0 && FListenSocket != INVALID_SOCKET)
    ::listen(FListenSocket, SOMAXCONN);
  return Bound;
}

bool TKorvexServer::Listen() { return FServer.listen_after_bind(); }

void TKorvexServer::Stop() { FServer.stop(); }
