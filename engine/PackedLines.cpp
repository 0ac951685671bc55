#include "PackedLines.h"

#include <zlib.h>

#include <new>
#include <stdexcept>

namespace vemra {

namespace {

constexpr std::size_t BlockBytes = 256 * 1024;

void PutLength(std::string& out, std::size_t n) {
    while (n >= 0x80) {
        out += static_cast<char>((n & 0x7F) | 0x80);
        n >>= 7;
    }
    out += static_cast<char>(n);
}

std::size_t GetLength(std::string_view data, std::size_t& at) {
    std::size_t n = 0;
    for (int shift = 0; at < data.size(); shift += 7) {
        const auto byte = static_cast<unsigned char>(data[at++]);
        n |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) break;
    }
    return n;
}

std::string Unpack(const std::vector<unsigned char>& packed, std::size_t rawSize) {
    std::string raw(rawSize, '\0');
    uLongf size = static_cast<uLongf>(rawSize);
    if (::uncompress(reinterpret_cast<Bytef*>(raw.data()), &size, packed.data(), static_cast<uLong>(packed.size())) !=
            Z_OK ||
        size != rawSize)
        throw std::runtime_error("packed lines damaged");
    return raw;
}

}  // namespace

void TPackedLines::Append(std::string_view bytes, bool record) {
    // A block is packed before its buffer would grow past the block size.
    if (open_.size() + bytes.size() + 10 > open_.capacity() && open_.capacity() >= BlockBytes / 2) PackOpenBlock();
    PutLength(open_, bytes.size() * 2 + (record ? 1 : 0));
    open_.append(bytes);
    ++count_;
}

void TPackedLines::PackOpenBlock() {
    if (open_.empty()) return;
    Block block;
    block.rawSize = open_.size();
    uLongf size = ::compressBound(static_cast<uLong>(open_.size()));
    block.packed.resize(size);
    if (::compress2(block.packed.data(), &size, reinterpret_cast<const Bytef*>(open_.data()),
                    static_cast<uLong>(open_.size()), 1) != Z_OK)
        throw std::bad_alloc();
    block.packed.resize(size);
    block.packed.shrink_to_fit();
    blocks_.push_back(std::move(block));
    open_.clear();
    if (open_.capacity() > 2 * BlockBytes) open_.shrink_to_fit();  // after one very long line
}

void TPackedLines::Clear() {
    blocks_.clear();
    open_.clear();
    open_.shrink_to_fit();
    count_ = 0;
}

void TPackedLines::ForEach(const std::function<void(std::string_view)>& f) const {
    std::string rendered;
    const auto walk = [&](std::string_view data) {
        for (std::size_t at = 0; at < data.size();) {
            const std::size_t tagged = GetLength(data, at);
            const std::size_t n = tagged / 2;
            if (tagged % 2 == 0) {
                f(data.substr(at, n));
            } else {
                rendered.clear();
                if (renderer_) renderer_(data.substr(at, n), rendered);
                f(rendered);
            }
            at += n;
        }
    };
    for (const Block& block : blocks_) walk(Unpack(block.packed, block.rawSize));
    walk(open_);
}

void TPackedLines::MoveTo(TStringList& list) {
    ForEach([&](std::string_view line) { list.Add(std::string(line)); });
    Clear();
}

void TPackedLines::AppendText(std::string& text) const {
    ForEach([&](std::string_view line) { text.append(line).append("\r\n"); });
}

}  // namespace vemra
