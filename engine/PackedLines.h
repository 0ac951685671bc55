#pragma once
// TPackedLines: lines that are only appended and read back all at once, kept deflated in
// blocks. A long conversion run writes one detail-log line per cell that nobody reads
// unless the report is closed; packed, a line costs a few bytes instead of a few hundred.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/StringList.h"

namespace vemra {

class TPackedLines {
public:
    void Add(std::string_view line);
    int Count() const { return count_; }
    bool Empty() const { return count_ == 0; }
    void Clear();
    // Appends every line to list in order and empties this store.
    void MoveTo(TStringList& list);
    // Every line followed by CR LF, as TStringList::Text writes them.
    void AppendText(std::string& text) const;
    // Calls f with every line in order.
    void ForEach(const std::function<void(std::string_view)>& f) const;

private:
    struct Block {
        std::vector<unsigned char> packed;
        std::size_t rawSize = 0;
    };
    void PackOpenBlock();

    std::vector<Block> blocks_;
    std::string open_;  // the block being filled: each line as its length (7 bits a byte) and its bytes
    int count_ = 0;
};

}  // namespace vemra
