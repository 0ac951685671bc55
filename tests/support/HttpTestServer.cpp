#include "support/HttpTestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

namespace vemra::test {
namespace {

bool SameAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto low = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
               return low(x) == low(y);
           });
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 204: return "No Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

sockaddr_in Loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

int BoundPort(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    return ntohs(addr.sin_port);
}

// Request line and header lines of one request head (without the blank line).
bool ParseHead(std::string_view head, HttpRequest& request) {
    std::size_t lineEnd = head.find("\r\n");
    const std::string_view first = head.substr(0, lineEnd);
    const std::size_t sp1 = first.find(' ');
    const std::size_t sp2 = first.rfind(' ');
    if (sp1 == std::string_view::npos || sp2 == sp1) return false;
    request.method = first.substr(0, sp1);
    request.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
    request.version = first.substr(sp2 + 1);
    request.path = request.target.substr(0, request.target.find('?'));
    while (lineEnd != std::string_view::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string_view line = head.substr(start, lineEnd == std::string_view::npos ? lineEnd : lineEnd - start);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        request.headers.emplace_back(TrimBlanks(line.substr(0, colon)), TrimBlanks(line.substr(colon + 1)));
    }
    return true;
}

std::string Hex(std::size_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "%zx", n);
    return text;
}

std::string FramedBody(const HttpResponse& response) {
    if (response.framing != BodyFraming::Chunked) return response.body;
    std::string out;
    const std::size_t step = std::max<std::size_t>(response.chunkSize, 1);
    for (std::size_t at = 0; at < response.body.size(); at += step) {
        const std::string_view chunk = std::string_view(response.body).substr(at, step);
        out += Hex(chunk.size()) + "\r\n";
        out += chunk;
        out += "\r\n";
    }
    return out + "0\r\n\r\n";
}

std::string ResponseHead(const HttpResponse& response, bool closing) {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " +
                       (response.reason.empty() ? ReasonPhrase(response.status) : response.reason) + "\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    switch (response.framing) {
        case BodyFraming::ContentLength:
            head += "Content-Length: " +
                    (response.contentLength.empty() ? std::to_string(response.body.size() + response.generatedBytes)
                                                    : response.contentLength) +
                    "\r\n";
            break;
        case BodyFraming::Chunked: head += "Transfer-Encoding: chunked\r\n"; break;
        case BodyFraming::CloseDelimited: break;
    }
    if (closing) head += "Connection: close\r\n";
    return head + "\r\n";
}

bool ClosesAfter(const HttpRequest& request, const HttpResponse& response) {
    return response.framing == BodyFraming::CloseDelimited || !response.contentLength.empty() ||
           SameAscii(request.Header("Connection"), "close") || request.version == "HTTP/1.0";
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (SameAscii(key, name)) return value;
    return "";
}

bool HttpRequest::HasHeader(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return SameAscii(h.first, name); });
}

HttpTestServer::HttpTestServer() {
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("HttpTestServer: pipe failed");
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in addr = Loopback(0);
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listenFd_, 64) != 0 || (port_ = BoundPort(listenFd_)) == 0) {
        if (listenFd_ >= 0) close(listenFd_);
        close(wakeRead_);
        close(wakeWrite_);
        throw std::runtime_error("HttpTestServer: cannot listen on 127.0.0.1");
    }
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    // The wake pipe stays readable from now on, so every poll below returns at once.
    const char stop = 1;
    [[maybe_unused]] const auto written = write(wakeWrite_, &stop, 1);
    acceptor_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& t : connections) t.join();
    close(listenFd_);
    close(wakeRead_);
    close(wakeWrite_);
}

std::string HttpTestServer::Url(std::string_view path) const { return "http://" + HostPort(path); }

std::string HttpTestServer::HostPort(std::string_view path) const {
    return "127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void HttpTestServer::Route(const std::string& path, HttpHandler handler) {
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(handler);
}

void HttpTestServer::Route(const std::string& path, HttpResponse response) {
    Route(path, [response](const HttpRequest&) { return response; });
}

std::vector<HttpRequest> HttpTestServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void HttpTestServer::ClearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

int HttpTestServer::ClosedPort() {
    // The socket stays bound, without listening, for the rest of the process: a connection is
    // refused, and no server of a test running beside this one can be given the port.
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in addr = Loopback(0);
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) port = BoundPort(fd);
    if (port == 0) {
        if (fd >= 0) close(fd);
        throw std::runtime_error("HttpTestServer: no free port");
    }
    return port;
}

bool HttpTestServer::Wait(int fd, std::chrono::milliseconds timeout) const {
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {fd, POLLIN, 0}};
    const nfds_t count = fd >= 0 ? 2 : 1;
    for (;;) {
        const int n = poll(fds, count, static_cast<int>(timeout.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || (fds[0].revents & POLLIN)) return false;
        return true;  // the socket is ready or the timeout passed
    }
}

void HttpTestServer::AcceptLoop() {
    while (Wait(listenFd_, std::chrono::milliseconds(-1))) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, fd] {
            Serve(fd);
            shutdown(fd, SHUT_WR);
            close(fd);
        });
    }
}

HttpResponse HttpTestServer::Answer(const HttpRequest& request) {
    HttpHandler handler;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (auto it = routes_.find(request.path); it != routes_.end()) handler = it->second;
    }
    if (!handler) return HttpResponse{.status = 404, .body = "<html><body>Not Found</body></html>"};
    try {
        return handler(request);
    } catch (...) {
        return HttpResponse{.status = 500, .body = "handler failed"};
    }
}

void HttpTestServer::Serve(int fd) {
    std::string input;
    auto readMore = [&]() {
        char buffer[4096];
        for (;;) {
            if (!Wait(fd, std::chrono::milliseconds(-1))) return false;
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                input.append(buffer, static_cast<std::size_t>(n));
                return true;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) return false;
        }
    };
    auto sendAll = [&](std::string_view data) {
        while (!data.empty()) {
            const ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
            if (n > 0) {
                data.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {fd, POLLOUT, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
            if (fds[0].revents & POLLIN) return false;
        }
        return true;
    };
    for (;;) {
        std::size_t headEnd;
        while ((headEnd = input.find("\r\n\r\n")) == std::string::npos)
            if (!readMore()) return;
        HttpRequest request;
        if (!ParseHead(std::string_view(input).substr(0, headEnd), request)) return;
        input.erase(0, headEnd + 4);
        const std::size_t bodyLength = std::strtoul(request.Header("Content-Length").c_str(), nullptr, 10);
        while (input.size() < bodyLength)
            if (!readMore()) return;
        request.body = input.substr(0, bodyLength);
        input.erase(0, bodyLength);

        const HttpResponse response = Answer(request);
        if (response.delay.count() > 0 && !Wait(-1, response.delay)) return;
        const bool closing = ClosesAfter(request, response);
        const bool chunked = response.framing == BodyFraming::Chunked;
        const bool slow = request.method != "HEAD" &&
                          (chunked ? response.generatedBytes > 0
                                   : response.silenceAfterHead.count() > 0 || response.byteInterval.count() > 0 ||
                                         response.generatedBytes > 0);
        if (slow) {
            if (!sendAll(ResponseHead(response, closing))) return;
            if (response.silenceAfterHead.count() > 0 && !Wait(-1, response.silenceAfterHead)) return;
            for (std::size_t at = 0; !chunked && at < response.body.size();) {
                const std::size_t step = response.byteInterval.count() > 0 ? 1 : response.body.size();
                if (!sendAll(std::string_view(response.body).substr(at, step))) return;
                at += step;
                slowBytesSent_ += step;
                if (response.byteInterval.count() > 0 && !Wait(-1, response.byteInterval)) return;
            }
            const std::string block(64 * 1024, 'x');
            for (std::uint64_t left = response.generatedBytes; left > 0;) {
                const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
                if (chunked && !sendAll(Hex(step) + "\r\n")) return;
                if (!sendAll(std::string_view(block).substr(0, step))) return;
                if (chunked && !sendAll("\r\n")) return;
                left -= step;
                slowBytesSent_ += step;
            }
            if (chunked && !sendAll("0\r\n\r\n")) return;
            if (closing) return;
            continue;
        }
        std::string out = ResponseHead(response, closing);
        if (request.method != "HEAD") out += FramedBody(response);
        if (!sendAll(out) || closing) return;
    }
}

}  // namespace vemra::test
