#pragma once
// Opening a document, folder or address with the desktop's preferred application:
// xdg-open started directly (no shell), its outcome expressed as the shell's result codes
// (above 32 = success, else one of the codes RaiseShellError knows).

#include <string>

namespace vemra::platform {

inline constexpr int kShellSuccess = 33;

int OpenWithDesktop(const std::string& target, const std::string& parameters);

}  // namespace vemra::platform
