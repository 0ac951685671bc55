#pragma once
// TStreamedIniFile: an INI file held whole in memory whose stored form is either the plain
// INI text or that text enciphered (8 salt bytes, then Blowfish-CBC under MD5(salt + key)
// with no padding). Which key a file uses is not stored with it: the caller names a key
// index and StreamKeyProc turns the index into the key.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "rtl/IniFiles.h"
#include "rtl/Streams.h"

namespace vemra {

// Sets key to the key of keyIndex; it must give "" for 0 and for every index it does not
// know. Empty until the application installs its callback; while empty, files are plain.
using TStreamKeyProc = std::function<void(int keyIndex, std::string& key)>;
extern TStreamKeyProc StreamKeyProc;

class TStreamedIniFile : public TMemIniFile {
public:
    // Stores both and starts empty; reads nothing.
    TStreamedIniFile(int keyIndex, std::string fileName);

    // 0 = plain. Writable: OpenStreamedIni switches it after a first plain read.
    int KeyIndex;

    void SetFileName(std::string fileName) { SetFileNameInternal(std::move(fileName)); }

    // Replaces the contents from the file, deciphered when the key index has a key; a
    // missing file keeps them. Throws EInOutError when the file cannot be read.
    void Reload() override;
    // Writes the contents, enciphered when the callback gives a key for the index (it is
    // asked for index 0 too). The file is replaced atomically; a file that did not exist
    // or had no owner write permission ends without write permission. Throws EInOutError
    // when it cannot be written, leaving the old file as it was. Nothing happens without
    // a file name.
    void UpdateFile() override;
    // Makes the stream's whole text (read from position 0) the contents.
    void LoadFromStream(TStream& stream);

private:
    std::string key_;  // the key last obtained from StreamKeyProc; empty = plain
};

// Writes 8 fresh salt bytes at the destination's position, then the whole source (from
// position 0) enciphered. False when anything failed (the destination may hold a part).
bool EncipherStream(TStream& source, TStream& dest, std::string_view key);
// Reads the salt from the source's first 8 bytes and deciphers the rest into the
// destination at its position. False when fewer than 8 bytes are there or anything failed.
bool DecipherStream(TStream& source, TStream& dest, std::string_view key);

// Reads the file plain first; keeps it plain when its [VMR] DATE equals the first 10
// characters of its file name (a day rate file stored plain), otherwise switches to
// keyIndex and reads it again.
std::unique_ptr<TStreamedIniFile> OpenStreamedIni(int keyIndex, const std::string& fileName);

// Test hook: the salt of every following encipherment comes from source (which fills 8
// bytes) instead of the process-wide generator; an empty function restores the generator.
void SetSaltSourceForTesting(std::function<void(std::uint8_t* salt)> source);

}  // namespace vemra
