#pragma once
// NetUtils: the program's only road to the network. One shared session (a libcurl easy
// handle that keeps its connections and DNS cache between requests), the size of a remote
// document from a HEAD request, and synchronous downloads into a file (with progress), a
// stream or a list of lines. Everything blocks the calling thread; meant for one thread.
//
// Every request carries the user agent "Mozilla/5.0 (Windows NT 10.0; Win64; x64)", uses
// the proxy of the usual environment variables (http_proxy, https_proxy, no_proxy, ...),
// checks certificates, gives up when connecting takes over 30 s or the transfer stalls
// below 1 byte/s for 60 s. Downloads follow up to 10 redirects; the HEAD request none.
// The HTTP status is not checked: an error page is downloaded like any other answer.

#include <functional>
#include <memory>
#include <string>

#include "rtl/Streams.h"
#include "rtl/StringList.h"

namespace vemra {

struct TInetSessionRec;  // the libcurl handle behind the session

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
                        const TInetProgress& progress = nullptr);

// Appends the document at the stream's position; false when unreachable or the transfer
// failed (what arrived before the failure stays in the stream).
bool InetDownloadToStream(const std::string& address, TStream& stream);

// Opens the session itself (and leaves it open); the document's lines split at CR LF, LF
// or CR; an empty list when the download failed.
std::unique_ptr<TStringList> InetDownloadLines(const std::string& address);

// Test hook: read the route tables from these files instead of /proc/net/route and
// /proc/net/ipv6_route. Empty paths restore the system's tables.
void InetSetRouteTablePaths(const std::string& ipv4Routes, const std::string& ipv6Routes);

}  // namespace vemra
