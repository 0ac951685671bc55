#include "Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>

#include "KeepAside.h"
#include "RegistryCache.h"
#include "RegistryHive.h"
#include "platform/SpecialFolders.h"

namespace vemra {

namespace {

// The machine hive lies under the system root like every machine-wide folder, so that a run
// with VEMRA_SYSTEM_ROOT (tests, the one-user run command, also as root) leaves /etc alone.
std::string SystemFolder() { return platform::SystemRoot() + "/etc/vemra"; }
std::string SystemHive() { return SystemFolder() + "/machine.reg"; }

TRegistry::ReplaceHook g_replaceHook = nullptr;
std::string g_pinnedMachineHive;

std::string RootName(HKEY root) {
    return root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

std::string HiveFileName(HKEY root) { return root == HKEY_CURRENT_USER ? "user.reg" : "machine.reg"; }

// Settings of one user stay private to that user; the machine hive is read by every user.
mode_t NewHiveMode(HKEY root) { return root == HKEY_CURRENT_USER ? 0600 : 0644; }

std::string EnvText(const char* name) {
    const char* v = std::getenv(name);
    return v == nullptr ? std::string() : std::string(v);
}

std::string UserStoreFolder() {
    const std::string config = platform::XdgConfigHome();
    return (config.empty() ? std::string("/tmp/.config") : config) + "/vemra";
}

std::string TestStoreFolder() {
    std::string dir = EnvText("VEMRA_REGISTRY_DIR");
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool PathExists(const char* path) {
    struct stat st {};
    return ::lstat(path, &st) == 0;
}

// Replacing the hive needs a writable folder (the rename), not a writable file.
bool SystemHiveWritable() {
    const std::string folder = SystemFolder();
    if (DirectoryExists(folder)) return ::access(folder.c_str(), W_OK) == 0;
    return !PathExists(folder.c_str()) && platform::MachineFolderWritable(folder);
}

bool MakeFolders(const std::string& folder, mode_t mode) {
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i < folder.size() && folder[i] != '/') continue;
        const std::string part = folder.substr(0, i);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
    return DirectoryExists(folder);
}

// Writers hold this lock around read-modify-write so that no process loses another's change.
// The temporary file has a fixed name, which the lock makes safe; one left by a crash is
// simply replaced by the next write.
class HiveLock {
public:
    HiveLock(const std::string& path, mode_t mode)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, mode)) {
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~HiveLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

bool ReplaceHiveFile(const std::string& target, std::string_view text, mode_t newMode) {
    struct stat st {};
    TAtomicWriteOptions options;
    options.Mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : newMode;
    options.TempPath = target + ".tmp";
    if (g_replaceHook != nullptr) options.BeforeRename = g_replaceHook;
    try {
        WriteFileAtomic(target, text, options);
        return true;
    } catch (const EInOutError&) {
        return false;
    }
}

[[noreturn]] void ReadError(std::string_view name) {
    throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
}

[[noreturn]] void WriteError(std::string_view name) {
    throw ERegistryException("Failed to set data for '" + std::string(name) + "'");
}

// KeyExists and DeleteKey: relative to the open key unless the key starts with "\".
std::string ResolveKey(std::string_view key, bool open, const std::string& current) {
    if (!open || (!key.empty() && key.front() == '\\')) return NormalizeKeyPath(key);
    return NormalizeKeyPath(current + '\\' + std::string(key));
}

TRegHiveValue MakeValue(std::string_view name, TRegValueKind kind, std::string_view bytes, std::uint32_t integer = 0) {
    TRegHiveValue v;
    v.name = std::string(name);
    v.kind = kind;
    v.bytes = std::string(bytes);
    v.integer = integer;
    return v;
}

// Same: the edit would write what the hive already holds; the file is then left as it is,
// unless it did not read as a hive (it is set aside and written anew as for a change).
// Ordered: the edits of a batch together did the most that one of them did.
enum class EditResult { Unchanged, Same, Changed, Refused };
using HiveEdit = std::function<EditResult(TRegHive&)>;

// The writes an open batch of this thread has gathered for one root.
struct PendingWrites {
    int depth = 0;                 // batches open on the root
    bool dropped = false;          // one ended without its commit: the outermost stores nothing
    std::optional<TRegHive> view;  // the hive with the gathered edits; read at the first write
    std::vector<HiveEdit> edits;
};

thread_local PendingWrites t_pending[2];

PendingWrites& Pending(HKEY root) { return t_pending[root == HKEY_CURRENT_USER ? 0 : 1]; }

struct StoredHive {
    TRegHive hive;
    EditResult result;  // of the edits together
};

// Read-modify-write of the hive under its lock: the edits in turn on the hive as the file
// holds it now, then one replace of the file. Nothing when an edit is refused or the new hive
// cannot be stored: the hive file then stays as it was, errno telling why.
std::optional<StoredHive> StoreEdits(HKEY root, const std::vector<HiveEdit>& edits) {
    const std::string target = TRegistry::HivePathForWrite(root);
    const std::string folder = ExtractFileDir(target);
    if (!MakeFolders(folder, folder == SystemFolder() ? 0755 : 0700)) return std::nullopt;
    const HiveLock lock(target + ".lock", NewHiveMode(root));
    if (!lock.Held()) return std::nullopt;
    const std::string source = TRegistry::HivePathForRead(root);
    std::optional<TCachedHive> fresh = ReadHiveFile(source, RootName(root), true);
    if (!fresh) return std::nullopt;
    EditResult result = EditResult::Unchanged;
    for (const HiveEdit& edit : edits) {
        const EditResult one = edit(fresh->hive);
        if (one == EditResult::Refused) {
            errno = 0;  // no system fault: a key was deleted meanwhile
            return std::nullopt;
        }
        result = std::max(result, one);
    }
    const EditResult stored = result;
    if (result == EditResult::Same) result = fresh->readable ? EditResult::Unchanged : EditResult::Changed;
    if (result == EditResult::Changed) {
        if (!fresh->readable && source == target && KeepAside(target).empty()) return std::nullopt;
        if (!ReplaceHiveFile(target, FormatHive(fresh->hive, RootName(root)), NewHiveMode(root))) return std::nullopt;
        RememberWrittenHive(target, RootName(root), fresh->hive);
    }
    return StoredHive{std::move(fresh->hive), stored};
}

}  // namespace

struct TRegistry::Impl {
    TRegHive hive;  // as last read (or written) from the root's hive file, or the batch's view

    void Load(HKEY root) {
        if (const PendingWrites& pending = Pending(root); pending.view) {
            hive = *pending.view;
            return;
        }
        hive = ReadHiveFile(HivePathForRead(root), RootName(root), false).value_or(TCachedHive{}).hive;
    }

    // Applies the edit to the hive file, or to the open batch's view (the batch's commit then
    // stores it); Refused when the edit is refused or the new hive cannot be stored (the hive
    // file then stays as it was), else what the edit did.
    EditResult Modify(HKEY root, const HiveEdit& edit) {
        PendingWrites& pending = Pending(root);
        if (pending.depth == 0) {
            std::optional<StoredHive> stored = StoreEdits(root, {edit});
            if (!stored) {
                const int error = errno;
                Load(root);
                errno = error;
                return EditResult::Refused;
            }
            hive = std::move(stored->hive);
            return stored->result;
        }
        if (!pending.view) {
            std::optional<TCachedHive> read = ReadHiveFile(HivePathForRead(root), RootName(root), false);
            if (!read) return EditResult::Refused;
            pending.view = std::move(read->hive);
        }
        const EditResult result = edit(*pending.view);
        if (result == EditResult::Refused) return result;
        pending.edits.push_back(edit);
        hive = *pending.view;
        return result;
    }

    bool Store(HKEY root, const std::string& path, TRegHiveValue value) {
        const HiveEdit edit = [path, value = std::move(value)](TRegHive& h) {
            TRegHiveKey* key = h.Find(path);
            if (key == nullptr) return EditResult::Refused;  // deleted meanwhile, as Windows refuses
            // Saving every setting rewrites most of them unchanged: those cost no new file. (A
            // write gives a string, integer or binary value, which the hive text writes by its
            // kind and data alone.)
            if (const TRegHiveValue* old = key->Find(value.name);
                old != nullptr && old->kind == value.kind && old->integer == value.integer && old->bytes == value.bytes)
                return EditResult::Same;
            key->Set(value);
            return EditResult::Changed;
        };
        return Modify(root, edit) != EditResult::Refused;
    }

    const TRegHiveValue* Find(bool open, const std::string& path, std::string_view name) const {
        const TRegHiveKey* key = open ? hive.Find(path) : nullptr;
        return key == nullptr ? nullptr : key->Find(name);
    }
};

TRegistry::TRegistry(std::uint32_t access) : impl_(std::make_unique<Impl>()), access_(access) {}

TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(HKEY root) {
    CloseKey();
    root_ = root;
}

bool TRegistry::OpenKey(std::string_view key, bool canCreate) {
    const std::string path = NormalizeKeyPath(key);
    impl_->Load(root_);
    if (impl_->hive.Find(path) == nullptr) {
        if (!canCreate) return false;
        if (!KeyPathWithinBounds(path)) return false;
        const EditResult made = impl_->Modify(root_, [path](TRegHive& h) {
            if (h.Find(path) != nullptr) return EditResult::Unchanged;
            return h.Ensure(path) != nullptr ? EditResult::Changed : EditResult::Refused;
        });
        if (made == EditResult::Refused) return false;
    }
    path_ = path;
    open_ = true;
    return true;
}

bool TRegistry::OpenKeyReadOnly(std::string_view key) { return OpenKey(key, false); }

void TRegistry::CloseKey() {
    open_ = false;
    path_.clear();
}

bool TRegistry::KeyExists(std::string_view key) {
    impl_->Load(root_);
    return impl_->hive.Find(ResolveKey(key, open_, path_)) != nullptr;
}

bool TRegistry::DeleteKey(std::string_view key) {
    const std::string path = ResolveKey(key, open_, path_);
    return impl_->Modify(root_, [path](TRegHive& h) {
        return h.Erase(path) ? EditResult::Changed : EditResult::Unchanged;
    }) == EditResult::Changed;
}

bool TRegistry::ValueExists(std::string_view name) const { return impl_->Find(open_, path_, name) != nullptr; }

bool TRegistry::DeleteValue(std::string_view name) {
    if (!open_) return false;
    return impl_->Modify(root_, [path = path_, name = std::string(name)](TRegHive& h) {
        TRegHiveKey* key = h.Find(path);
        return key != nullptr && key->Erase(name) ? EditResult::Changed : EditResult::Unchanged;
    }) == EditResult::Changed;
}

void TRegistry::GetValueNames(TStringList& out) const {
    out.Clear();
    const TRegHiveKey* key = open_ ? impl_->hive.Find(path_) : nullptr;
    if (key == nullptr) return;
    for (const TRegHiveValue& v : key->Values()) out.Add(v.name);
}

void TRegistry::GetKeyNames(TStringList& out) const {
    out.Clear();
    if (!open_) return;
    for (std::string& name : impl_->hive.SubkeyNames(path_)) out.Add(std::move(name));
}

TRegDataType TRegistry::GetDataType(std::string_view name) const {
    const TRegHiveValue* v = impl_->Find(open_, path_, name);
    if (v == nullptr) return TRegDataType::rdUnknown;
    switch (v->kind) {
        case TRegValueKind::String: return TRegDataType::rdString;
        case TRegValueKind::ExpandString: return TRegDataType::rdExpandString;
        case TRegValueKind::Integer: return TRegDataType::rdInteger;
        case TRegValueKind::Binary: return TRegDataType::rdBinary;
        case TRegValueKind::Other: break;
    }
    return TRegDataType::rdUnknown;
}

std::string TRegistry::ReadString(std::string_view name) const {
    const TRegHiveValue* v = impl_->Find(open_, path_, name);
    if (v == nullptr) return {};
    if (v->kind != TRegValueKind::String && v->kind != TRegValueKind::ExpandString) ReadError(name);
    return v->bytes;
}

int TRegistry::ReadInteger(std::string_view name) const {
    const TRegHiveValue* v = impl_->Find(open_, path_, name);
    if (v == nullptr || v->kind != TRegValueKind::Integer) ReadError(name);
    return static_cast<int>(v->integer);
}

bool TRegistry::ReadBool(std::string_view name) const { return ReadInteger(name) != 0; }

TDateTime TRegistry::ReadDateTime(std::string_view name) const {
    const TRegHiveValue* v = impl_->Find(open_, path_, name);
    if (v == nullptr || v->kind != TRegValueKind::Binary || v->bytes.size() != sizeof(double)) ReadError(name);
    std::uint64_t bits = 0;
    for (std::size_t i = sizeof(double); i-- > 0;) bits = (bits << 8) | static_cast<unsigned char>(v->bytes[i]);
    return std::bit_cast<double>(bits);
}

std::string TRegistry::ReadBinaryData(std::string_view name) const {
    const TRegHiveValue* v = impl_->Find(open_, path_, name);
    if (v == nullptr || (v->kind != TRegValueKind::Binary && v->kind != TRegValueKind::Other)) ReadError(name);
    return v->bytes;
}

void TRegistry::WriteString(std::string_view name, std::string_view value) {
    if (!open_ || !impl_->Store(root_, path_, MakeValue(name, TRegValueKind::String, value))) WriteError(name);
}

void TRegistry::WriteInteger(std::string_view name, int value) {
    const auto bits = static_cast<std::uint32_t>(value);
    if (!open_ || !impl_->Store(root_, path_, MakeValue(name, TRegValueKind::Integer, {}, bits))) WriteError(name);
}

void TRegistry::WriteBool(std::string_view name, bool value) { WriteInteger(name, value ? 1 : 0); }

void TRegistry::WriteDateTime(std::string_view name, TDateTime value) {
    // The Windows layout: the double's eight bytes, least significant first.
    std::string bytes(sizeof(double), '\0');
    auto bits = std::bit_cast<std::uint64_t>(value);
    for (char& b : bytes) {
        b = static_cast<char>(bits & 0xFF);
        bits >>= 8;
    }
    WriteBinaryData(name, bytes);
}

void TRegistry::WriteBinaryData(std::string_view name, std::string_view bytes) {
    if (!open_ || !impl_->Store(root_, path_, MakeValue(name, TRegValueKind::Binary, bytes))) WriteError(name);
}

std::string TRegistry::HivePathForRead(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE && !g_pinnedMachineHive.empty()) return g_pinnedMachineHive;
    const std::string write = HivePathForWrite(root);
    if (root == HKEY_CURRENT_USER || !TestStoreFolder().empty() || PathExists(write.c_str())) return write;
    const std::string system = SystemHive();
    return ::access(system.c_str(), R_OK) == 0 ? system : write;
}

std::string TRegistry::HivePathForWrite(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE && !g_pinnedMachineHive.empty()) return g_pinnedMachineHive;
    const std::string test = TestStoreFolder();
    if (!test.empty()) return test + '/' + HiveFileName(root);
    if (root == HKEY_LOCAL_MACHINE && SystemHiveWritable()) return SystemHive();
    return UserStoreFolder() + '/' + HiveFileName(root);
}

std::string TRegistry::SystemMachineHive() {
    const std::string test = TestStoreFolder();
    return test.empty() ? SystemHive() : test + '/' + HiveFileName(HKEY_LOCAL_MACHINE);
}

std::string TRegistry::UserMachineHive() {
    const std::string test = TestStoreFolder();
    return (test.empty() ? UserStoreFolder() : test) + '/' + HiveFileName(HKEY_LOCAL_MACHINE);
}

void TRegistry::PinMachineHive(std::string path) { g_pinnedMachineHive = std::move(path); }

void TRegistry::SetReplaceHook(ReplaceHook hook) { g_replaceHook = hook; }

TRegistryBatch::TRegistryBatch(HKEY root) : root_(root) { ++Pending(root).depth; }

TRegistryBatch::~TRegistryBatch() {
    if (ended_) return;
    PendingWrites& pending = Pending(root_);
    pending.dropped = true;
    if (--pending.depth == 0) pending = PendingWrites{};
}

bool TRegistryBatch::Commit() {
    if (ended_) return false;
    ended_ = true;
    PendingWrites& pending = Pending(root_);
    if (--pending.depth > 0) return !pending.dropped;
    const PendingWrites gathered = std::exchange(pending, PendingWrites{});
    if (gathered.dropped) return false;
    if (gathered.edits.empty()) return true;
    errno = 0;
    return StoreEdits(root_, gathered.edits).has_value();
}

}  // namespace vemra
