#pragma once
// Archives made in the tests with libarchive's writer: plain members, folders, links, and
// members of a chosen size of zeros (written in pieces, so a large one costs no memory).

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vemra::test {

enum class ArchiveFormat { Zip, Tar, SevenZip };

struct ArchiveMember {
    enum Kind { File, Folder, Symlink, Hardlink };
    std::string name;
    std::string data;
    Kind kind = File;
    std::string target;           // of a link
    std::uint64_t zeroBytes = 0;  // a file of this many zero bytes in place of data
    bool sizeInHeader = true;     // false: the header gives no size (a zip's data descriptor)
};

inline ArchiveMember FileMember(std::string name, std::string data) {
    return {std::move(name), std::move(data), ArchiveMember::File, {}, 0};
}
inline ArchiveMember ZerosMember(std::string name, std::uint64_t bytes) {
    return {std::move(name), {}, ArchiveMember::File, {}, bytes};
}
inline ArchiveMember SizelessZerosMember(std::string name, std::uint64_t bytes) {
    return {std::move(name), {}, ArchiveMember::File, {}, bytes, false};
}
inline ArchiveMember FolderMember(std::string name) { return {std::move(name), {}, ArchiveMember::Folder, {}, 0}; }
inline ArchiveMember LinkMember(std::string name, ArchiveMember::Kind kind, std::string target) {
    return {std::move(name), {}, kind, std::move(target), 0};
}

inline void WriteArchive(const std::string& path, ArchiveFormat format, const std::vector<ArchiveMember>& members) {
    archive* a = archive_write_new();
    switch (format) {
        case ArchiveFormat::Zip: archive_write_set_format_zip(a); break;
        case ArchiveFormat::Tar: archive_write_set_format_pax_restricted(a); break;
        case ArchiveFormat::SevenZip: archive_write_set_format_7zip(a); break;
    }
    if (archive_write_open_filename(a, path.c_str()) != ARCHIVE_OK) {
        archive_write_free(a);
        throw std::runtime_error("cannot write " + path);
    }
    const std::string zeros(1 << 20, '\0');
    for (const ArchiveMember& member : members) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, member.name.c_str());
        archive_entry_set_mtime(entry, 1700000000, 0);
        switch (member.kind) {
            case ArchiveMember::Folder:
                archive_entry_set_filetype(entry, AE_IFDIR);
                archive_entry_set_perm(entry, 0755);
                break;
            case ArchiveMember::Symlink:
                archive_entry_set_filetype(entry, AE_IFLNK);
                archive_entry_set_perm(entry, 0777);
                archive_entry_set_symlink(entry, member.target.c_str());
                break;
            case ArchiveMember::Hardlink:
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_perm(entry, 0644);
                archive_entry_set_hardlink(entry, member.target.c_str());
                archive_entry_set_size(entry, 0);
                break;
            case ArchiveMember::File:
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_perm(entry, 0644);
                if (member.sizeInHeader)
                    archive_entry_set_size(entry, static_cast<la_int64_t>(member.zeroBytes ? member.zeroBytes
                                                                                           : member.data.size()));
                break;
        }
        if (archive_write_header(a, entry) != ARCHIVE_OK) {
            const std::string error = archive_error_string(a) ? archive_error_string(a) : "";
            archive_entry_free(entry);
            archive_write_free(a);
            throw std::runtime_error("cannot add " + member.name + ": " + error);
        }
        if (member.kind == ArchiveMember::File) {
            if (member.zeroBytes == 0) {
                archive_write_data(a, member.data.data(), member.data.size());
            } else {
                for (std::uint64_t left = member.zeroBytes; left > 0;) {
                    const std::size_t piece = left < zeros.size() ? static_cast<std::size_t>(left) : zeros.size();
                    archive_write_data(a, zeros.data(), piece);
                    left -= piece;
                }
            }
        }
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
}

}  // namespace vemra::test
