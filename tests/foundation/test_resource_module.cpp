// A resource module for the tests: two resources, one with a NUL and a high byte inside.
#include <strings.h>

#include <cstddef>

namespace {
const unsigned char kLicence[] = {'{', '\\', 'r', 't', 'f', '1', 0, 0xFF, '}', '\n'};
const unsigned char kEmpty[1] = {0};
}  // namespace

extern "C" __attribute__((visibility("default"))) int vemra_resource_lookup(
    const char* name, const unsigned char** data, std::size_t* size) {
    if (strcasecmp(name, "LIC") == 0) {
        *data = kLicence;
        *size = sizeof kLicence;
        return 1;
    }
    if (strcasecmp(name, "EMPTY") == 0) {
        *data = kEmpty;
        *size = 0;
        return 1;
    }
    return 0;
}
