#include "StreamedIniFile.h"

#include <nettle/blowfish.h>
#include <nettle/md5.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <random>
#include <utility>
#include <vector>

#include "rtl/SysUtils.h"

namespace vemra {

TStreamKeyProc StreamKeyProc;

namespace {

constexpr std::size_t kSaltSize = 8;
constexpr std::size_t kBlockSize = BLOWFISH_BLOCK_SIZE;
// A multiple of the block size, so only the last block of the whole stream can be partial.
constexpr std::size_t kBufferSize = 8192;
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

using Block = std::array<std::uint8_t, kBlockSize>;

std::mt19937& Generator() {
    static std::mt19937 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device()};
        return std::mt19937(seed);
    }();
    return generator;
}

std::function<void(std::uint8_t*)>& SaltSource() {
    static std::function<void(std::uint8_t*)> source;
    return source;
}

void DrawSalt(std::uint8_t* salt) {
    if (const auto& source = SaltSource()) {
        source(salt);
        return;
    }
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t i = 0; i < kSaltSize; ++i) salt[i] = static_cast<std::uint8_t>(byte(Generator()));
}

// Blowfish in cipher block chaining from CV = E(0); a final partial block is xored with
// E(CV), so the output is exactly as long as the input.
class ChainCipher {
public:
    ChainCipher(const std::uint8_t* salt, std::string_view key) {
        md5_ctx md5;
        md5_init(&md5);
        md5_update(&md5, kSaltSize, salt);
        md5_update(&md5, key.size(), reinterpret_cast<const std::uint8_t*>(key.data()));
        std::uint8_t digest[MD5_DIGEST_SIZE];
        md5_digest(&md5, sizeof digest, digest);
        // Nettle reports a weak key (a repeated S-box entry) but sets it up all the same;
        // the digest is not ours to choose, so such a key must encipher like any other.
        static_cast<void>(blowfish128_set_key(&ctx_, digest));
        cv_.fill(0);
        blowfish_encrypt(&ctx_, kBlockSize, cv_.data(), cv_.data());
    }

    void Encipher(std::uint8_t* data, std::size_t count) {
        std::size_t full = count - count % kBlockSize;
        for (std::size_t i = 0; i < full; i += kBlockSize) {
            for (std::size_t j = 0; j < kBlockSize; ++j) data[i + j] ^= cv_[j];
            blowfish_encrypt(&ctx_, kBlockSize, data + i, data + i);
            std::copy_n(data + i, kBlockSize, cv_.begin());
        }
        XorTail(data + full, count - full);
    }

    void Decipher(std::uint8_t* data, std::size_t count) {
        std::size_t full = count - count % kBlockSize;
        Block cipherText;
        for (std::size_t i = 0; i < full; i += kBlockSize) {
            std::copy_n(data + i, kBlockSize, cipherText.begin());
            blowfish_decrypt(&ctx_, kBlockSize, data + i, data + i);
            for (std::size_t j = 0; j < kBlockSize; ++j) data[i + j] ^= cv_[j];
            cv_ = cipherText;
        }
        XorTail(data + full, count - full);
    }

private:
    void XorTail(std::uint8_t* data, std::size_t count) {
        if (count == 0) return;
        blowfish_encrypt(&ctx_, kBlockSize, cv_.data(), cv_.data());
        for (std::size_t j = 0; j < count; ++j) data[j] ^= cv_[j];
    }
    blowfish_ctx ctx_;
    Block cv_;
};

std::size_t ReadFull(TStream& stream, std::uint8_t* buffer, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        std::size_t n = stream.Read(buffer + got, count - got);
        if (n == 0) break;
        got += n;
    }
    return got;
}

void WriteAll(TStream& stream, const std::uint8_t* data, std::size_t count) {
    if (stream.Write(data, count) != count) throw EInOutError("Stream write error");
}

// Runs the rest of source through step into dest, a full buffer at a time.
template <class Step>
void Pump(TStream& source, TStream& dest, Step step) {
    std::vector<std::uint8_t> buffer(kBufferSize);
    for (;;) {
        std::size_t n = ReadFull(source, buffer.data(), buffer.size());
        if (n == 0) return;
        step(buffer.data(), n);
        WriteAll(dest, buffer.data(), n);
        if (n < buffer.size()) return;
    }
}

// A file that does not exist yet, or has no owner write bit, counts as read-only and ends
// without write bits.
void ReplaceFile(const std::string& path, std::string_view bytes) {
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    const bool readOnly = !exists || (old.st_mode & S_IWUSR) == 0;
    const unsigned mode = exists ? (old.st_mode & 07777) : NewFileMode();
    WriteFileAtomic(path, bytes, {.Mode = readOnly ? (mode & ~kWriteBits) : mode});
}

}  // namespace

// ---- TStreamedIniFile ----

TStreamedIniFile::TStreamedIniFile(int keyIndex, std::string fileName) : TMemIniFile(), KeyIndex(keyIndex) {
    SetFileNameInternal(std::move(fileName));
}

void TStreamedIniFile::Reload() {
    const std::string& path = FileName();
    if (!FileExists(path)) return;
    key_.clear();
    if (KeyIndex >= 1 && StreamKeyProc) StreamKeyProc(KeyIndex, key_);
    if (key_.empty()) {
        std::string text = ReadFileBytes(path);
        Clear();
        SetText(text);
        return;
    }
    TMemoryStream stored(ReadFileBytes(path));
    TMemoryStream plain;
    // A wrong key or a damaged file is not detectable; whatever deciphered is the contents.
    static_cast<void>(DecipherStream(stored, plain, key_));
    LoadFromStream(plain);
}

void TStreamedIniFile::LoadFromStream(TStream& stream) {
    stream.SetPosition(0);
    std::string text = stream.ReadAll();
    Clear();
    SetText(text);
}

void TStreamedIniFile::UpdateFile() {
    const std::string& path = FileName();
    if (path.empty()) return;
    key_.clear();
    if (StreamKeyProc) StreamKeyProc(KeyIndex, key_);
    std::string text = RenderText();
    if (key_.empty()) {
        ReplaceFile(path, text);
        return;
    }
    TMemoryStream plain(std::move(text));
    TMemoryStream stored;
    if (!EncipherStream(plain, stored, key_)) throw EInOutError("Cannot encipher \"" + path + "\"");
    ReplaceFile(path, stored.Bytes());
}

// ---- stream routines ----

bool EncipherStream(TStream& source, TStream& dest, std::string_view key) {
    try {
        source.SetPosition(0);
        std::uint8_t salt[kSaltSize];
        DrawSalt(salt);
        WriteAll(dest, salt, kSaltSize);
        ChainCipher cipher(salt, key);
        Pump(source, dest, [&cipher](std::uint8_t* data, std::size_t n) { cipher.Encipher(data, n); });
        return true;
    } catch (...) {
        return false;
    }
}

bool DecipherStream(TStream& source, TStream& dest, std::string_view key) {
    try {
        source.SetPosition(0);
        std::uint8_t salt[kSaltSize];
        if (ReadFull(source, salt, kSaltSize) < kSaltSize) return false;
        ChainCipher cipher(salt, key);
        Pump(source, dest, [&cipher](std::uint8_t* data, std::size_t n) { cipher.Decipher(data, n); });
        return true;
    } catch (...) {
        return false;
    }
}

std::unique_ptr<TStreamedIniFile> OpenStreamedIni(int keyIndex, const std::string& fileName) {
    auto ini = std::make_unique<TStreamedIniFile>(0, fileName);
    ini->Reload();
    std::string stamp = ini->ReadString("VMR", "DATE", "");
    std::string name = ExtractFileName(fileName).substr(0, 10);
    if (stamp != name) {
        ini->KeyIndex = keyIndex;
        ini->Reload();
    }
    return ini;
}

void SetSaltSourceForTesting(std::function<void(std::uint8_t* salt)> source) {
    SaltSource() = std::move(source);
}

}  // namespace vemra
