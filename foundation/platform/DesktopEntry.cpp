#include "platform/DesktopEntry.h"

#include "rtl/SysUtils.h"

namespace vemra::platform {
namespace {

// Escapes of every string value in the file: backslash and control characters.
std::string EscapeValue(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

// One Exec argument quoted in whole: '"', '`', '$' and '\' get a backslash; '%' is doubled
// so that it is not read as a field code.
std::string QuoteExecArgument(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

std::string DoublePercent(std::string_view s) {
    return StringReplace(s, "%", "%%", rfReplaceAll);
}

}  // namespace

std::string RenderDesktopEntry(const std::string& name, const std::string& target,
                               const std::string& arguments) {
    std::string exec = QuoteExecArgument(target);
    if (!arguments.empty()) {
        exec += ' ';
        exec += DoublePercent(arguments);
    }
    std::string text = "[Desktop Entry]\nType=Application\n";
    text += "Name=" + EscapeValue(name) + "\n";
    text += "Exec=" + EscapeValue(exec) + "\n";
    std::string folder = ExtractFileDir(target);
    if (!folder.empty()) text += "Path=" + EscapeValue(folder) + "\n";
    return text;
}

}  // namespace vemra::platform
