#include "RefusalTexts.h"

#include <string_view>
#include <vector>

#include "EngineHost.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"

namespace vemra {
namespace {

std::string MessageOr(IEngineHost* host, int number, std::string_view builtIn, const std::vector<FormatArg>& args) {
    std::string text = host != nullptr ? host->GetMessageText(number) : std::string();
    if (text.empty()) text = builtIn;
    return FillMessageV(host, number, text, args);
}

}  // namespace

std::string LibraryRefusedText(IEngineHost* host, const std::string& file) {
    return MessageOr(host, msg::LibraryRefused,
                     "The library %s was not loaded because other users can change it or its folder.",
                     {FormatArg(file)});
}

std::string PackageRefusedText(IEngineHost* host, TPackageRefusal why, const std::string& movedTo) {
    std::string text =
        why == TPackageRefusal::Untrusted
            ? MessageOr(host, msg::PackageUntrusted,
                        "Other users can change this package or its folder, so it was not installed.", {})
            : MessageOr(host, msg::PackageRefused,
                        "The package is damaged or holds what no package may (links, paths outside its folder, "
                        "too much data), so it was not installed.",
                        {});
    if (!movedTo.empty())
        text += " " + MessageOr(host, msg::PackageSetAside, "It was moved to %s.", {FormatArg(movedTo)});
    return text;
}

}  // namespace vemra
