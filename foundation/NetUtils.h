#pragma once
// NetUtils: the program's only road to the network. One shared session, the size of a remote
// document from a HEAD request, and downloads into a file (with progress), a stream or a list
// of lines. Meant for one thread.
//
// Two implementations share this interface, chosen at link time:
// - vemra_net (NetUtils.cpp): libcurl in the calling process; the session is a libcurl easy
//   handle that keeps its connections and DNS cache between requests; every call blocks.
// - vemra_netclient (NetClient.cpp, what the converter links): every request runs in the
//   helper program vmrfetch (which links vemra_net), so the converter never loads libcurl and
//   its libraries; a call waits for the helper in a local event loop, so the window thread
//   keeps serving events. When the application is told to quit meanwhile, the helper is
//   stopped, the request fails at once (and every later one until the quit is over), and no
//   half-written file replaces a target. The helper is the one beside the running program
//   (the installation's), else the build tree's (tests), or the one VEMRA_FETCH_PROGRAM names.
//
// Every request carries the user agent "Mozilla/5.0 (Windows NT 10.0; Win64; x64)", uses
// the proxy of the usual environment variables (http_proxy, https_proxy, no_proxy, ...),
// checks certificates, gives up when connecting takes over 30 s or the transfer stalls
// below 1 byte/s for 60 s, and ends at the deadline of its limits. Downloads follow up to 10
// redirects (http and https only); the HEAD request none. The HTTP status is not checked: an
// error page is downloaded like any other answer.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "rtl/Streams.h"
#include "rtl/StringList.h"

namespace vemra {

struct TInetSessionRec;  // the libcurl handle (or the helper) behind the session

// Bounds of one download: the document fails when its body passes MaxBytes (reading stops
// there, nothing of it replaces a file) or when the whole request outlasts DeadlineSeconds.
// A bound below 1 is no bound: the download fails ("no bounds") without a request.
struct TInetLimits {
    std::int64_t MaxBytes;
    int DeadlineSeconds;
};
// Rate pages and the version check: a day's page is some ten to a few hundred KB, the page
// parser refuses more than 16 MiB anyway. Two minutes carry such a page over a link of a few
// KB/s, yet keep one slow server from holding an update run (one download per source) long.
inline constexpr TInetLimits kPageLimits{16ll << 20, 120};
// History files (plain or packed) are tens of MiB; their reader refuses more than 64 MiB, and
// fifteen minutes carry that much at about 75 KB/s.
inline constexpr TInetLimits kHistoryLimits{64ll << 20, 900};
// The HEAD request of a download with progress.
inline constexpr int kSizeDeadlineSeconds = 30;
// The environment variable that shortens every deadline (whole seconds, at least 1, never
// longer than the limit's own): for tests and for users on a link they know.
inline constexpr const char* kDeadlineVariable = "VEMRA_NET_DEADLINE";
// The deadline a request with that limit gets under the environment above.
int InetEffectiveDeadline(int deadlineSeconds);

// The shared session, held and released by this unit; nullptr while closed.
const TInetSessionRec* InetSession();

// Called during InetDownloadToFile after every 1024-byte block (the last may be shorter)
// and once more for the final empty read. With total < 1 (size unknown) done counts the
// blocks; otherwise done is the number of bytes received. May run the event loop.
using TInetProgress = std::function<void(int total, int done)>;

// True when the machine has a route on a network interface other than loopback (IPv4), or a
// default or global IPv6 route on one.
bool InetIsConnected();

// Opens the session when it is closed (an open one is kept); true when one is open after.
bool InetOpenSession();
// Closes the session (also when it is closed). A transfer in progress then fails.
void InetCloseSession();

// Size from the Content-Length of a HEAD request (no redirects followed, no-cache headers);
// 0 when unknown, not a number of at most 9 digits, for "ftp://" addresses, an address
// without a "/" after the host, or any failure. A port written in the address is used.
int InetGetRemoteSize(const std::string& address);

// An address without "http://" or "https://" in its first 8 characters gets "http://".
// The download functions need the session open; with it closed they return false.

// False when the server could not be reached or the transfer failed; the file is then not
// touched. The data is written as it comes into a temporary file beside the file (made once
// the answer arrives), which replaces the file only when the whole document arrived. With
// a progress callback the size is asked first by InetGetRemoteSize. A file that cannot be
// created, written or replaced raises EInOutError.
bool InetDownloadToFile(const std::string& address, const std::string& fileName,
                        const TInetProgress& progress = nullptr, const TInetLimits& limits = kPageLimits);

// Appends the document at the stream's position; false when unreachable or the transfer
// failed (in process, what arrived before the failure stays in the stream; through the
// helper, which hands over only whole documents, nothing is added).
bool InetDownloadToStream(const std::string& address, TStream& stream, const TInetLimits& limits = kPageLimits);

// Opens the session itself (and leaves it open); the document's lines split at CR LF, LF
// or CR; an empty list when the download failed.
std::unique_ptr<TStringList> InetDownloadLines(const std::string& address, const TInetLimits& limits = kPageLimits);

// Why the last download of this thread failed, in a few words ("" after a success):
// "too large", "deadline passed", "redirect refused", "cancelled", "no bounds", or
// libcurl's own text.
std::string InetLastError();

// Test hook: read the route tables from these files instead of /proc/net/route and
// /proc/net/ipv6_route. Empty paths restore the system's tables.
void InetSetRouteTablePaths(const std::string& ipv4Routes, const std::string& ipv6Routes);

}  // namespace vemra
