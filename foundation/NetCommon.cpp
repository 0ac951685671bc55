// The parts of NetUtils that both of its implementations share: the route tables behind
// InetIsConnected and the deadline of a request.

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "NetUtils.h"

namespace vemra {

namespace {

std::string g_ipv4Routes;
std::string g_ipv6Routes;

// ---- routes ----

constexpr unsigned RouteUp = 0x0001;      // RTF_UP
constexpr unsigned RouteReject = 0x0200;  // RTF_REJECT

std::optional<unsigned> HexValue(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool UsableRoute(const std::string& iface, const std::string& flagsHex) {
    const unsigned flags = HexValue(flagsHex).value_or(0);
    return iface != "lo" && (flags & RouteUp) && !(flags & RouteReject);
}

// Iface Destination Gateway Flags ... after a heading line.
bool HasIpv4Route(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags;
        if (fields >> iface >> destination >> gateway >> flags && UsableRoute(iface, flags)) return true;
    }
    return false;
}

// Destination, prefix length, source, source prefix, next hop, metric, use, references,
// flags, interface. Link-local and multicast routes exist on any interface that is up, so
// only the default route and global unicast (2000::/3) count.
bool HasIpv6Route(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string destination, prefix, skip, flags, iface;
        if (!(fields >> destination >> prefix >> skip >> skip >> skip >> skip >> skip >> skip >> flags >> iface))
            continue;
        const bool isDefault = prefix == "00";
        const bool isGlobal = (HexValue(destination.substr(0, 2)).value_or(0) & 0xE0) == 0x20;
        if ((isDefault || isGlobal) && UsableRoute(iface, flags)) return true;
    }
    return false;
}

}  // namespace

bool InetIsConnected() {
    return HasIpv4Route(g_ipv4Routes.empty() ? "/proc/net/route" : g_ipv4Routes) ||
           HasIpv6Route(g_ipv6Routes.empty() ? "/proc/net/ipv6_route" : g_ipv6Routes);
}

void InetSetRouteTablePaths(const std::string& ipv4Routes, const std::string& ipv6Routes) {
    g_ipv4Routes = ipv4Routes;
    g_ipv6Routes = ipv6Routes;
}

int InetEffectiveDeadline(int deadlineSeconds) {
    const char* text = std::getenv(kDeadlineVariable);
    if (text == nullptr || *text == 0) return deadlineSeconds;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != 0) return deadlineSeconds;
    return static_cast<int>(std::clamp<long>(value, 1, deadlineSeconds));
}

}  // namespace vemra
