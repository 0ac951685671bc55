#pragma once
// Byte streams of the class library: a position, a size, reads and writes.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vemra {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;    // bytes read
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;  // throws EInOutError on failure
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size() const = 0;
    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t p) { Seek(p, TSeekOrigin::soBeginning); }
    void WriteString(std::string_view s) { Write(s.data(), s.size()); }
    std::string ReadAll();  // from the position to the end
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}
    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
    const std::string& Bytes() const { return data_; }
    std::string& Bytes() { return data_; }
    void Clear() { data_.clear(); pos_ = 0; }

private:
    std::string data_;
    std::size_t pos_ = 0;
};

// fmCreate truncates or creates; fmOpenRead reads; fmOpenReadWrite opens an existing file.
enum class TFileMode { fmCreate, fmOpenRead, fmOpenReadWrite };

class TFileStream : public TStream {
public:
    TFileStream(const std::string& path, TFileMode mode);  // throws EInOutError
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override;
    void Flush();

private:
    enum class LastOp { None, Read, Write };
    void Switch(LastOp op);

    std::FILE* f_ = nullptr;
    std::string path_;
    LastOp last_ = LastOp::None;
};

}  // namespace vemra
