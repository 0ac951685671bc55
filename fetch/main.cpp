// vmrfetch: runs one download for the converter, which starts it per request and reads its
// output without blocking its window thread; libcurl and the many libraries it brings are
// loaded here, never in the resident converter.
//
//   vmrfetch file <address> <target> <max bytes> <deadline s> [progress]
//       the document into the target file (temporary file, then rename); on standard
//       output "T <temporary file>" once it is made and, with "progress", "P <total> <done>"
//       for every progress call
//   vmrfetch body <address> <max bytes> <deadline s>
//       the document's bytes on standard output
//   vmrfetch size <address>
//       the remote size as a decimal number on standard output
//
// Exit codes: 0 done; 1 not fetched (the reason on standard error); 2 the target could not
// be written (the message on standard error); 3 wrong arguments (also a bound below 1, which
// libcurl would take as none). SIGTERM (also sent when the parent dies) ends a transfer within
// about a second, without leaving a temporary file; one left by a kill is removed by the
// converter, which reads its name from the "T" line.

#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "NetFetch.h"
#include "NetUtils.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStop(int) { g_stop = 1; }

// Whole lines at once, so the reader never sees half of one between two writes. A failed
// write means the reader is gone; the transfer ends at the next check.
void WriteOut(std::string_view text) { vemra::WriteAllToFd(STDOUT_FILENO, text); }

bool Number(const char* text, long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return errno == 0 && end != text && *end == 0 && value > 0;
}

int Failed() {
    std::fprintf(stderr, "%s\n", vemra::InetLastError().c_str());
    return 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: vmrfetch file <address> <target> <max bytes> <deadline s> [progress]\n"
                 "       vmrfetch body <address> <max bytes> <deadline s>\n"
                 "       vmrfetch size <address>\n");
    return 3;
}

}  // namespace

int main(int argc, char* argv[]) {
    // A converter that ends (or is killed) takes its download with it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    struct sigaction action {};
    action.sa_handler = &OnStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    vemra::InetSetCancelFlag(&g_stop);

    if (argc < 3) return Usage();
    const std::string mode = argv[1];
    const std::string address = argv[2];
    if (!vemra::InetOpenSession()) {
        std::fprintf(stderr, "no session\n");
        return 1;
    }
    try {
        long long maxBytes = 0;
        long long deadline = 0;
        if (mode == "size" && argc == 3) {
            WriteOut(std::to_string(vemra::InetGetRemoteSize(address)) + "\n");
            return 0;
        }
        if (mode == "body" && argc == 5 && Number(argv[3], maxBytes) && Number(argv[4], deadline)) {
            vemra::TMemoryStream stream;
            const vemra::TInetLimits limits{maxBytes, static_cast<int>(std::min<long long>(deadline, 1 << 20))};
            if (!vemra::InetDownloadToStream(address, stream, limits)) return Failed();
            WriteOut(stream.Bytes());
            return 0;
        }
        if (mode == "file" && (argc == 6 || (argc == 7 && std::string_view(argv[6]) == "progress")) &&
            Number(argv[4], maxBytes) && Number(argv[5], deadline)) {
            vemra::InetSetTemporaryFileNotice([](const std::string& temp) { WriteOut("T " + temp + "\n"); });
            vemra::TInetProgress progress;
            if (argc == 7)
                progress = [](int total, int done) {
                    WriteOut("P " + std::to_string(total) + " " + std::to_string(done) + "\n");
                };
            const vemra::TInetLimits limits{maxBytes, static_cast<int>(std::min<long long>(deadline, 1 << 20))};
            if (!vemra::InetDownloadToFile(address, argv[3], progress, limits)) return Failed();
            return 0;
        }
    } catch (const vemra::EInOutError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return Usage();
}
