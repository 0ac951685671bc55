#include "platform/FileVersion.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>

#include "rtl/Format.h"

namespace vemra::platform {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kMaxScan = std::size_t{256} * 1024 * 1024;
constexpr std::size_t kMaxBody = 24;  // "65535.65535.65535.65535" and its NUL

class FileHandle {
public:
    explicit FileHandle(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~FileHandle() { if (fd_ >= 0) close(fd_); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// The text after the marker: four numbers separated by '.', ended by a NUL.
std::optional<std::string> ParseBody(std::string_view body) {
    std::array<long, 4> n{};
    std::size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        std::size_t start = i;
        long v = 0;
        while (i < body.size() && body[i] >= '0' && body[i] <= '9' && i - start < 5) v = v * 10 + (body[i++] - '0');
        if (i == start || v > 65535) return std::nullopt;
        n[static_cast<std::size_t>(part)] = v;
        char expected = part < 3 ? '.' : '\0';
        if (i >= body.size() || body[i] != expected) return std::nullopt;
        ++i;
    }
    return Format("%d.%d.%d.%d", n[0], n[1], n[2], n[3]);
}

// Reads the next chunk onto buf; false at the end (or on a read error, or past the bound).
bool ReadMore(int fd, std::string& buf, std::size_t& total) {
    if (total >= kMaxScan) return false;
    std::size_t old = buf.size();
    buf.resize(old + kChunk);
    ssize_t n;
    do {
        n = read(fd, buf.data() + old, kChunk);
    } while (n < 0 && errno == EINTR);
    buf.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
    total += n > 0 ? static_cast<std::size_t>(n) : 0;
    return n > 0;
}

}  // namespace

std::string ReadFileVersionRecord(const std::string& path) {
    FileHandle file(path);
    if (file.fd() < 0) return {};
    const std::string_view marker = kFileVersionMarker;
    std::string buf;
    std::size_t total = 0;
    bool more = true;
    while (more) {
        more = ReadMore(file.fd(), buf, total);
        std::size_t from = 0;
        std::size_t keep = buf.size() >= marker.size() ? buf.size() - marker.size() + 1 : 0;
        for (std::size_t pos; (pos = buf.find(marker, from)) != std::string::npos; from = pos + 1) {
            std::size_t bodyAt = pos + marker.size();
            if (more && buf.size() - bodyAt < kMaxBody) {
                keep = pos;  // the record may continue in the next chunk
                break;
            }
            // The reader's own copy of the marker is followed by a NUL, not by numbers.
            if (auto text = ParseBody(std::string_view(buf).substr(bodyAt, kMaxBody))) return *text;
        }
        buf.erase(0, keep);
    }
    return {};
}

}  // namespace vemra::platform
