#pragma once
// Unpacking the archives that reach the program from outside (plug-in packages, history
// downloads) over libarchive. An archive is untrusted: nothing it holds may land outside the
// target folder, no link is made, and its unpacked size is bounded, so a crafted archive can
// neither overwrite the user's files nor fill the disk.

#include <cstdint>
#include <functional>
#include <string>

#include "rtl/StringList.h"

namespace vemra {

// The most bytes one extraction may write; past it the extraction fails as a whole.
inline constexpr std::uint64_t kMaxExtractedBytes = 256ull << 20;  // 256 MiB
// The most members (files and folders) one archive may unpack into.
inline constexpr int kMaxExtractedMembers = 10000;

struct TExtractLimits {
    std::uint64_t MaxBytes = kMaxExtractedBytes;
    int MaxMembers = kMaxExtractedMembers;
    // Called while members are read with the bytes of the archive file read so far and its
    // size (the installer's progress bar); none when empty.
    std::function<void(std::uint64_t done, std::uint64_t total)> Progress;
    // Set to true (when given) if the archive itself was refused: a member that may not be
    // unpacked or more than the limits allow, as against a damaged archive or a disk fault.
    bool* Refused = nullptr;
};

// Unpacks every member of the archive (zip, RAR 4/5, 7z or tar, told by its contents) under
// folder, made with its missing parents; existing files are replaced. names is cleared, then
// gets folder + "/" + the member's path of each file written. All or nothing: the members are
// first unpacked into a fresh folder inside folder and moved into place only when the whole
// archive was read, and a failure while moving them puts back every file it replaced, so a
// failure leaves folder as it was. It fails (false, names empty) on an unreadable or damaged
// archive, a member whose path is absolute or contains "..", a symbolic or hard link, a
// member that is neither a file nor a folder, a member holding more data than its header
// declares, and an archive that would unpack to more than the limits allow (counted before
// the bytes are written).
bool ExtractArchiveFiles(const std::string& archive, const std::string& folder, TStringList& names,
                         const TExtractLimits& limits = {});

// The extraction of the data module: the archive's extension (upper-cased, without the dot)
// decides whether it is one: "ZIP", "RAR" and "VPL" are unpacked as above, any other gives
// false without touching anything but folder (made) and names (cleared).
// refused: as TExtractLimits::Refused.
bool ExtractArchiveByExtension(const std::string& archive, const std::string& folder, TStringList& names,
                               bool* refused = nullptr);

}  // namespace vemra
