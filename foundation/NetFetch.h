#pragma once
// What the in-process download library (vemra_net) offers beyond NetUtils.h, for the helper
// program that runs the converter's downloads.

#include <csignal>
#include <functional>
#include <string>

namespace vemra {

// Every transfer stops soon (libcurl asks at least once a second, also while a server is
// silent) once *flag is non-zero; it then fails as "cancelled" and leaves no temporary file.
// The flag may be set from a signal handler. nullptr: nothing cancels.
void InetSetCancelFlag(const volatile std::sig_atomic_t* flag);

// Told the name of each temporary file InetDownloadToFile makes, right after making it, so a
// process that may be killed before it cleans up can name it to someone who can.
void InetSetTemporaryFileNotice(std::function<void(const std::string&)> notice);

}  // namespace vemra
