// Build-time tool: enciphers a shipped plain text under one of the program's key indexes.
//
//   vemra_encipher <key index> <input> <output>            INI text, through TStreamedIniFile
//   vemra_encipher --stream <key index> <input> <output>   any bytes, as one enciphered stream
//
// The INI form is what the program reads back with TStreamedIniFile (language files, day
// rate files); the stream form is for resources the program deciphers whole.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "StreamKeys.h"
#include "StreamedIniFile.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace {

int Usage() {
    std::fputs("usage: vemra_encipher [--stream] <key index> <input> <output>\n", stderr);
    return 2;
}

bool ParseKeyIndex(const char* text, int& index) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value <= 0 || value > 255) return false;
    index = static_cast<int>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vemra;
    int first = 1;
    const bool stream = argc > 1 && std::string_view(argv[1]) == "--stream";
    if (stream) ++first;
    int keyIndex = 0;
    if (argc - first != 3 || !ParseKeyIndex(argv[first], keyIndex)) return Usage();
    const std::string input = argv[first + 1];
    const std::string output = argv[first + 2];

    StreamKeyProc = StreamKey;
    std::string key;
    StreamKey(keyIndex, key);
    if (key.empty()) {
        std::fprintf(stderr, "vemra_encipher: key index %d has no key\n", keyIndex);
        return 2;
    }
    try {
        if (!FileExists(input)) throw Exception("no such file: " + input);
        DeleteFile(output);
        if (stream) {
            TMemoryStream source(ReadFileBytes(input));
            TMemoryStream enciphered;
            if (!EncipherStream(source, enciphered, key)) throw Exception("cannot encipher " + input);
            WriteFileAtomic(output, enciphered.Bytes());
        } else {
            TStreamedIniFile ini(0, input);
            ini.Reload();
            ini.SetFileName(output);
            ini.KeyIndex = keyIndex;
            ini.UpdateFile();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vemra_encipher: %s\n", e.what());
        return 1;
    }
    return 0;
}
