#include "NetUtils.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

#include "NetFetch.h"
#include "rtl/SysUtils.h"

namespace vemra {

struct TInetSessionRec {
    explicit TInetSessionRec(CURL* handle) : easy(handle) {}
    ~TInetSessionRec() { curl_easy_cleanup(easy); }
    TInetSessionRec(const TInetSessionRec&) = delete;
    TInetSessionRec& operator=(const TInetSessionRec&) = delete;

    CURL* const easy;
    bool busy = false;  // a transfer runs on this handle
};

namespace {

constexpr const char* UserAgent = "Mozilla/5.0 (Windows NT 10.0; Win64; x64)";
constexpr std::size_t BlockSize = 1024;
constexpr long ConnectTimeoutSeconds = 30;
constexpr long LowSpeedBytesPerSecond = 1;
constexpr long LowSpeedSeconds = 60;
constexpr long MaxRedirects = 10;

// Set by the owner of the process (the helper's signal handler) to stop every transfer.
const volatile std::sig_atomic_t* g_cancel = nullptr;
std::function<void(const std::string&)> g_tempNotice;
thread_local std::string g_lastError;

bool Cancelled() { return g_cancel != nullptr && *g_cancel != 0; }

// Called by libcurl at least once a second, also while the server is silent.
int OnTransferInfo(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return Cancelled() ? 1 : 0; }

// The open session; a request in progress holds it too.
std::shared_ptr<TInetSessionRec> g_session;

// Marks the session busy for one request. A callback that runs the event loop may close
// (or close and reopen) the session meanwhile; the handle is then freed once the request
// is over, never under libcurl's feet.
class SessionUse {
public:
    SessionUse() : rec_(g_session && !g_session->busy ? g_session : nullptr) {
        if (rec_) rec_->busy = true;
    }
    ~SessionUse() {
        if (rec_) rec_->busy = false;
    }
    SessionUse(const SessionUse&) = delete;
    SessionUse& operator=(const SessionUse&) = delete;

    CURL* Handle() const { return rec_ ? rec_->easy : nullptr; }
    bool StillCurrent() const { return rec_ == g_session; }

private:
    std::shared_ptr<TInetSessionRec> rec_;
};

// Options every request shares; the handle keeps its connections and caches across resets.
void PrepareRequest(CURL* h, const std::string& url, int deadlineSeconds) {
    curl_easy_reset(h);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, UserAgent);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // No alarm signals in a GUI program; the resolver is threaded.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, LowSpeedBytesPerSecond);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, LowSpeedSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, static_cast<long>(InetEffectiveDeadline(deadlineSeconds)));
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnTransferInfo);
}

bool HasWebScheme(std::string_view address, bool acceptFtp) {
    const std::string head = LowerCase(address.substr(0, 8));
    return head.find("https://") != std::string::npos || head.find("http://") != std::string::npos ||
           (acceptFtp && head.find("ftp://") != std::string::npos);
}

std::string CompleteAddress(const std::string& address, bool acceptFtp = false) {
    return HasWebScheme(address, acceptFtp) ? address : "http://" + address;
}

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Splits "host", "host:port", "[v6]" or "[v6]:port"; nullopt when the host is empty or the
// port is not a number from 1 to 65535.
std::optional<std::string> HostAndPort(std::string_view authority) {
    std::size_t hostEnd = authority.find(':');
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        hostEnd = close + 1 < authority.size() ? close + 1 : std::string_view::npos;
        if (hostEnd != std::string_view::npos && authority[hostEnd] != ':') return std::nullopt;
    }
    const std::string_view host = authority.substr(0, hostEnd);
    if (host.empty()) return std::nullopt;
    if (hostEnd == std::string_view::npos || hostEnd + 1 == authority.size()) return std::string(host);
    const std::string_view port = authority.substr(hostEnd + 1);
    const int number = AllDigits(port) && port.size() <= 5 ? std::stoi(std::string(port)) : 0;
    if (number < 1 || number > 65535) return std::nullopt;
    return std::string(host) + ":" + std::string(port);
}

// The address the size is asked for: scheme, host, port and object name; the user part and
// the query are dropped. Only the text before the first "/" after the scheme is the
// authority, so a ":" or "@" further on belongs to the object name.
std::optional<std::string> HeadUrl(const std::string& address) {
    const std::string completed = CompleteAddress(address, true);
    const std::size_t schemeEnd = completed.find("://");
    if (schemeEnd == std::string::npos) return std::nullopt;
    const std::string scheme = LowerCase(completed.substr(0, schemeEnd));
    if (scheme != "http" && scheme != "https") return std::nullopt;
    const std::string_view rest = std::string_view(completed).substr(schemeEnd + 3);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    std::string_view authority = rest.substr(0, slash);
    if (const std::size_t at = authority.find('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    const std::optional<std::string> host = HostAndPort(authority);
    if (!host) return std::nullopt;
    const std::string_view path = rest.substr(slash + 1);
    return scheme + "://" + *host + "/" + std::string(path.substr(0, path.find('?')));
}

// Keeps the Content-Length text of the last response's headers.
std::size_t OnHeadHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& length = *static_cast<std::optional<std::string>*>(user);
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) {
        length.reset();
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
        if (!length && SameText(Trim(line.substr(0, colon)), "Content-Length"))
            length = Trim(line.substr(colon + 1));
    }
    return size * count;
}

// The length text as a number; a text of more than 9 characters does not fit the reply
// buffer, anything but digits is no size.
int LengthValue(const std::optional<std::string>& text) {
    if (!text || text->size() > 9 || !AllDigits(*text)) return 0;
    return std::stoi(*text);
}

int Saturated(std::int64_t v) { return static_cast<int>(std::min<std::int64_t>(v, INT_MAX)); }

// Body data of a GET request, split into the blocks the progress counts. The data goes to a
// temporary file beside the target, which replaces the target only once the whole document
// arrived: a transfer that breaks off leaves the old file as it was.
class FileReceiver {
public:
    FileReceiver(const std::string& fileName, const TInetProgress& progress, int total)
        : fileName_(fileName), progress_(progress), total_(total) {}
    ~FileReceiver() { Discard(); }
    FileReceiver(const FileReceiver&) = delete;
    FileReceiver& operator=(const FileReceiver&) = delete;

    void Feed(const char* data, std::size_t count) {
        while (count > 0) {
            const std::size_t take = std::min(count, BlockSize - fill_);
            std::memcpy(block_.data() + fill_, data, take);
            fill_ += take;
            data += take;
            count -= take;
            if (fill_ == BlockSize) DeliverPending();
        }
    }
    // The transfer ended well: the short last block, the final empty read, then the
    // temporary file takes the target's place.
    void Finish() {
        if (fill_ > 0) DeliverPending();
        Deliver(0);
        // On disk before it replaces the target, so a crash leaves the old file or the new.
        static_cast<void>(::fsync(fd_));
        struct stat old {};
        const mode_t mode = ::stat(fileName_.c_str(), &old) == 0 ? (old.st_mode & 07777) : NewFileMode();
        static_cast<void>(::fchmod(fd_, mode));  // a file system without modes keeps the file
        // Whatever sits at the temporary name is renamed: it must still be the file written.
        struct stat written {};
        struct stat named {};
        const bool ours = ::fstat(fd_, &written) == 0 && ::lstat(temp_.c_str(), &named) == 0 &&
                          written.st_dev == named.st_dev && written.st_ino == named.st_ino;
        if (!ours || std::rename(temp_.c_str(), fileName_.c_str()) != 0) {
            const std::string why = ours ? std::strerror(errno) : "Its temporary file was replaced.";
            Discard();
            throw EInOutError("Cannot create file \"" + fileName_ + "\". " + why);
        }
        CloseFile();
        temp_.clear();
    }
    // The transfer broke off: what came is dropped, the target stays untouched.
    void Discard() {
        CloseFile();
        if (!temp_.empty()) ::unlink(temp_.c_str());
        temp_.clear();
        fill_ = 0;
    }

private:
    void DeliverPending() {
        Deliver(fill_);
        fill_ = 0;
    }
    void Deliver(std::size_t count) {
        if (fd_ < 0) Create();
        if (count > 0 && !WriteAllToFd(fd_, std::string_view(block_.data(), count)))
            throw EInOutError("Cannot write to file \"" + temp_ + "\". " + std::strerror(errno));
        ++blocks_;
        done_ = total_ < 1 ? blocks_ : done_ + static_cast<std::int64_t>(count);
        if (progress_) progress_(total_, Saturated(done_));
    }
    void Create() {
        const std::string folder = ExtractFileDir(fileName_);
        std::string temp = JoinPath(folder.empty() ? std::string(".") : folder, "." + ExtractFileName(fileName_) + ".XXXXXX");
        // Written only through the descriptor that made it: the name may be swapped meanwhile.
        fd_ = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd_ < 0) throw EInOutError("Cannot create file \"" + fileName_ + "\". " + std::strerror(errno));
        temp_ = temp;
        if (g_tempNotice) g_tempNotice(temp_);
    }
    void CloseFile() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    const std::string& fileName_;
    const TInetProgress& progress_;
    int total_;
    std::string temp_;  // the temporary file while one exists
    int fd_ = -1;       // and its descriptor
    std::array<char, BlockSize> block_{};
    std::size_t fill_ = 0;
    std::int64_t blocks_ = 0;
    std::int64_t done_ = 0;
};

// What a write callback needs: where the bytes go, and a place for an exception that must
// not unwind through libcurl.
template <class Sink>
struct WriteTarget {
    Sink& sink;
    const SessionUse& use;
    std::int64_t maxBytes;
    std::int64_t received = 0;
    bool tooLarge = false;
    std::exception_ptr error;
};

template <class Sink>
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& target = *static_cast<WriteTarget<Sink>*>(user);
    if (!target.use.StillCurrent() || Cancelled()) return CURL_WRITEFUNC_ERROR;
    // Reading stops at the bound: a document without a length (or with a false one) is never
    // stored past it.
    target.received += static_cast<std::int64_t>(size * count);
    if (target.received > target.maxBytes) {
        target.tooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    try {
        target.sink.Feed(data, size * count);
    } catch (...) {
        target.error = std::current_exception();
        return CURL_WRITEFUNC_ERROR;
    }
    return size * count;
}

struct StreamSink {
    TStream& stream;
    void Feed(const char* data, std::size_t count) {
        if (count > 0) stream.Write(data, count);
    }
};

// The few words InetLastError gives for a failed transfer.
std::string FailureText(CURLcode code, bool tooLarge, const char* detail) {
    if (tooLarge || code == CURLE_FILESIZE_EXCEEDED) return "too large";
    if (Cancelled() || code == CURLE_ABORTED_BY_CALLBACK) return "cancelled";
    const std::string text = *detail != 0 ? std::string(detail) : std::string(curl_easy_strerror(code));
    // The same code serves the connect timeout and the stall limit; only the deadline's text
    // says "Operation timed out after".
    if (code == CURLE_OPERATION_TIMEDOUT && text.starts_with("Operation timed out after")) return "deadline passed";
    // Every address asked for is http or https, so another scheme came from a redirect.
    if (code == CURLE_UNSUPPORTED_PROTOCOL) return "redirect refused: " + text;
    return text;
}

// A bound of 0 would reach libcurl as "no limit" or "no timeout".
bool Bounded(const TInetLimits& limits) {
    if (limits.MaxBytes >= 1 && limits.DeadlineSeconds >= 1) return true;
    g_lastError = "no bounds";
    return false;
}

// Runs a GET of the completed address into sink; true when the whole document arrived.
template <class Sink>
bool Get(const SessionUse& use, const std::string& url, Sink& sink, const TInetLimits& limits) {
    CURL* h = use.Handle();
    PrepareRequest(h, url, limits.DeadlineSeconds);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, MaxRedirects);
    // A declared length past the bound is refused before any byte is read.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.MaxBytes));
    char detail[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, detail);
    WriteTarget<Sink> target{sink, use, limits.MaxBytes, 0, false, nullptr};
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody<Sink>);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &target);
    const CURLcode code = curl_easy_perform(h);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
    if (target.error) std::rethrow_exception(target.error);
    const bool whole = code == CURLE_OK && use.StillCurrent();
    if (whole)
        g_lastError.clear();
    else
        g_lastError = code == CURLE_OK ? std::string("cancelled") : FailureText(code, target.tooLarge, detail);
    return whole;
}

}  // namespace

bool InetOpenSession() {
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (g_session) return true;
    CURL* easy = curl_easy_init();
    if (!easy) return false;
    g_session = std::make_shared<TInetSessionRec>(easy);
    return true;
}

// A busy session is freed when its request ends.
void InetCloseSession() { g_session.reset(); }

const TInetSessionRec* InetSession() { return g_session.get(); }

int InetGetRemoteSize(const std::string& address) {
    const std::optional<std::string> url = HeadUrl(address);
    if (!url) return 0;
    const SessionUse use;
    CURL* h = use.Handle();
    if (!h) return 0;
    PrepareRequest(h, *url, kSizeDeadlineSeconds);
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    std::optional<std::string> length;
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeadHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &length);
    const CURLcode code = curl_easy_perform(h);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return code == CURLE_OK ? LengthValue(length) : 0;
}

bool InetDownloadToFile(const std::string& address, const std::string& fileName, const TInetProgress& progress,
                        const TInetLimits& limits) {
    g_lastError = "no session";
    if (!Bounded(limits)) return false;
    const std::string url = CompleteAddress(address);
    const int total = progress ? InetGetRemoteSize(url) : 0;
    const SessionUse use;
    if (!use.Handle()) return false;
    FileReceiver receiver(fileName, progress, total);
    if (!Get(use, url, receiver, limits)) {
        receiver.Discard();
        return false;
    }
    receiver.Finish();
    return true;
}

bool InetDownloadToStream(const std::string& address, TStream& stream, const TInetLimits& limits) {
    g_lastError = "no session";
    if (!Bounded(limits)) return false;
    const SessionUse use;
    if (!use.Handle()) return false;
    StreamSink sink{stream};
    return Get(use, CompleteAddress(address), sink, limits);
}

std::unique_ptr<TStringList> InetDownloadLines(const std::string& address, const TInetLimits& limits) {
    auto lines = std::make_unique<TStringList>();
    TMemoryStream stream;
    InetOpenSession();
    if (InetDownloadToStream(address, stream, limits)) lines->SetText(stream.Bytes());
    return lines;
}

std::string InetLastError() { return g_lastError; }

void InetSetCancelFlag(const volatile std::sig_atomic_t* flag) { g_cancel = flag; }

void InetSetTemporaryFileNotice(std::function<void(const std::string&)> notice) { g_tempNotice = std::move(notice); }

}  // namespace vemra
