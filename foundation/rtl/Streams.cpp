#include "Streams.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "SysUtils.h"

namespace vemra {

namespace {

std::int64_t Clamped(std::int64_t base, std::int64_t offset) { return std::max<std::int64_t>(0, base + offset); }

}  // namespace

std::string TStream::ReadAll() {
    std::string out;
    char buf[8192];
    std::size_t n = 0;
    while ((n = Read(buf, sizeof buf)) > 0) out.append(buf, n);
    return out;
}

// ---- TMemoryStream ----

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (pos_ >= data_.size()) return 0;
    const std::size_t n = std::min(count, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    if (pos_ + count > data_.size()) data_.resize(pos_ + count);  // a gap after a seek past the end reads as zeros
    std::memcpy(data_.data() + pos_, buffer, count);
    pos_ += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) base = static_cast<std::int64_t>(pos_);
    if (origin == TSeekOrigin::soEnd) base = Size();
    pos_ = static_cast<std::size_t>(Clamped(base, offset));
    return static_cast<std::int64_t>(pos_);
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& path, TFileMode mode) : path_(path) {
    const char* how = mode == TFileMode::fmCreate ? "w+b" : mode == TFileMode::fmOpenRead ? "rb" : "r+b";
    f_ = std::fopen(path.c_str(), how);
    if (f_ == nullptr) {
        const char* verb = mode == TFileMode::fmCreate ? "Cannot create file \"" : "Cannot open file \"";
        throw EInOutError(verb + path + "\". " + std::strerror(errno));
    }
}

TFileStream::~TFileStream() {
    if (f_ != nullptr) std::fclose(f_);
}

void TFileStream::Switch(LastOp op) {
    // C streams need a positioning call between a write and a following read (and back).
    if (last_ != LastOp::None && last_ != op) std::fseek(f_, 0, SEEK_CUR);
    last_ = op;
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    Switch(LastOp::Read);
    return std::fread(buffer, 1, count, f_);
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    Switch(LastOp::Write);
    const std::size_t n = std::fwrite(buffer, 1, count, f_);
    if (n != count) throw EInOutError("Cannot write to file \"" + path_ + "\". " + std::strerror(errno));
    return n;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    if (origin == TSeekOrigin::soCurrent && offset == 0) return ::ftello(f_);
    std::int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) base = ::ftello(f_);
    if (origin == TSeekOrigin::soEnd) base = Size();
    ::fseeko(f_, static_cast<off_t>(Clamped(base, offset)), SEEK_SET);
    last_ = LastOp::None;
    return ::ftello(f_);
}

std::int64_t TFileStream::Size() const {
    if (last_ == LastOp::Write) std::fflush(f_);
    struct stat st {};
    return ::fstat(::fileno(f_), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

void TFileStream::Flush() {
    if (std::fflush(f_) != 0) throw EInOutError("Cannot write to file \"" + path_ + "\". " + std::strerror(errno));
}

}  // namespace vemra
