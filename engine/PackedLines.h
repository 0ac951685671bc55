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
    // Makes the line of a record (AddRecord) when the lines are read.
    using RecordRenderer = std::function<void(std::string_view record, std::string& line)>;

    void Add(std::string_view line) { Append(line, false); }
    // A line kept as bytes that the renderer turns into its text only when the lines are
    // read: a line that is long to write and seldom read costs its few bytes instead.
    void AddRecord(std::string_view record) { Append(record, true); }
    void SetRenderer(RecordRenderer renderer) { renderer_ = std::move(renderer); }
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
    void Append(std::string_view bytes, bool record);
    void PackOpenBlock();

    std::vector<Block> blocks_;
    // The block being filled: each line as its length, doubled and plus one for a record (7
    // bits a byte), and its bytes.
    std::string open_;
    RecordRenderer renderer_;
    int count_ = 0;
};

}  // namespace vemra
