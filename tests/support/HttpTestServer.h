#pragma once
// A small HTTP/1.1 server for tests. It listens on 127.0.0.1 on a port the system picks,
// answers from a thread of its own (one more per connection, keep-alive honoured), routes
// by path (the request target without its query) and records every request it got.
//
//   HttpTestServer server;
//   server.Route("/page", {.body = "hello"});
//   server.Route("/slow", [](const HttpRequest&) { return HttpResponse{.delay = 50ms}; });
//   ... fetch server.Url("/page") ...
//   EXPECT_EQ(server.Requests().at(0).method, "GET");
//
// Unknown paths get a 404 page. HEAD requests get the headers a GET would get, no body.
// The destructor stops the server; every wait inside it is bounded.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace vemra::test {

struct HttpRequest {
    std::string method;
    std::string target;  // as sent, with the query
    std::string path;    // without the query
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;  // in order, as sent
    std::string body;    // read by Content-Length

    // The first header of that name (ASCII case ignored); "" when absent.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

enum class BodyFraming {
    ContentLength,  // "Content-Length:" with the body's size (or contentLength below)
    CloseDelimited, // no length; the connection closes after the body
    Chunked,        // "Transfer-Encoding: chunked" in chunks of chunkSize bytes
};

struct HttpResponse {
    int status = 200;
    std::string reason{};  // "" gives the usual phrase of the status
    std::vector<std::pair<std::string, std::string>> headers{};
    std::string body{};
    BodyFraming framing = BodyFraming::ContentLength;
    // Sent as the Content-Length value in place of the body's size: a wrong or malformed
    // length (a longer one makes the answer break off after the body).
    std::string contentLength{};
    std::size_t chunkSize = 1000;
    std::chrono::milliseconds delay{0};  // before the answer is sent
    // A slow or huge answer: after the head the server says nothing this long, then sends the
    // body one byte every byteInterval (all at once when 0), then generatedBytes bytes of 'x'
    // made as they go (counted in the Content-Length). Chunked: only generatedBytes, in
    // chunks of 64 KiB.
    std::chrono::milliseconds silenceAfterHead{0};
    std::chrono::milliseconds byteInterval{0};
    std::uint64_t generatedBytes = 0;
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

class HttpTestServer {
public:
    HttpTestServer();  // throws std::runtime_error when it cannot listen
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:PORT" + path; HostPort gives "127.0.0.1:PORT" + path.
    std::string Url(std::string_view path = "/") const;
    std::string HostPort(std::string_view path = "/") const;

    void Route(const std::string& path, HttpHandler handler);
    void Route(const std::string& path, HttpResponse response);  // the same answer every time

    std::vector<HttpRequest> Requests() const;
    void ClearRequests();
    // Body bytes of slow or huge answers sent so far (what the socket took).
    std::uint64_t SlowBodyBytesSent() const { return slowBytesSent_; }

    // A port on 127.0.0.1 where nothing listens and no other server can listen while this
    // process runs: connections to it are refused.
    static int ClosedPort();

private:
    void AcceptLoop();
    void Serve(int fd);
    HttpResponse Answer(const HttpRequest& request);
    bool Wait(int fd, std::chrono::milliseconds timeout) const;  // false when stopping

    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, HttpHandler> routes_;
    std::vector<HttpRequest> requests_;
    std::vector<std::thread> connections_;
    std::atomic<std::uint64_t> slowBytesSent_{0};
    std::thread acceptor_;
};

}  // namespace vemra::test
