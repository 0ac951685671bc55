#pragma once
// Numbered messages filled with their arguments. The texts come from language files that
// users translate and edit by hand: a message whose format does not fit its arguments (a
// stray or wrong specifier) is used as it stands, never a fault, and the fault goes to the
// log routine once per message number and run.

#include <string>
#include <string_view>
#include <vector>

#include "EngineHost.h"
#include "rtl/Format.h"

namespace vemra {

// text filled with args; text itself when they do not fit. logTo may be nullptr (no log).
std::string FillMessageV(IEngineHost* logTo, int number, std::string_view text, const std::vector<FormatArg>& args);

template <class... A> std::string FillMessage(IEngineHost* logTo, int number, std::string_view text, const A&... args) {
    return FillMessageV(logTo, number, text, {FormatArg(args)...});
}

// The host's message of that number, filled with args.
template <class... A> std::string FormatMessageText(IEngineHost& host, int number, const A&... args) {
    const std::string text = host.GetMessageText(number);
    return FillMessageV(&host, number, text, {FormatArg(args)...});
}

// Tests: every message number may be logged again.
void ForgetMessageFaultsForTesting();

}  // namespace vemra
