#pragma once
// TRegistry: the registry class of the class library over our registry store.
//
// Each root is one text hive file in the REGEDIT4 ".reg" format:
//   HKEY_CURRENT_USER  -> $XDG_CONFIG_HOME/vemra/user.reg (~/.config when unset)
//   HKEY_LOCAL_MACHINE -> /etc/vemra/machine.reg where it can be read (reads) or written
//                         (writes), else $XDG_CONFIG_HOME/vemra/machine.reg, the way registry
//                         virtualisation gives an unprivileged program a store of its own.
//                         Once that per-user store exists, reads see it (the first write
//                         copies the system hive's content into it).
//   $VEMRA_SYSTEM_ROOT set: the system hive is <root>/etc/vemra/machine.reg, as every
//                         machine-wide folder lies under that root.
//   $VEMRA_REGISTRY_DIR set: both hives live in that folder (tests).
// A program that has chosen the install record it belongs to pins HKEY_LOCAL_MACHINE to that
// record's hive (PinMachineHive): every later read and write of the root goes there alone.
// Key paths use "\" as on Windows and match without regard to case. Values are typed:
// strings ("name"="text"), 32-bit integers (dword:0000002a) and binary (hex:01,02,...).
// Every write that changes the hive replaces the hive file atomically (one that writes a value
// as it is stored leaves the file alone); a TRegistryBatch makes many writes one replace. A
// hive is looked at again when a key is opened, so two programs see each other's changes; the
// file itself is read again only when it changed (RegistryCache.h). Access masks and views are
// accepted and ignored.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/DateUtils.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"

namespace vemra {

enum class HKEY { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };
using enum HKEY;

inline constexpr std::uint32_t KEY_READ = 0x20019;
inline constexpr std::uint32_t KEY_WRITE = 0x20006;
inline constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;
inline constexpr std::uint32_t KEY_WOW64_64KEY = 0x100;
inline constexpr std::uint32_t KEY_WOW64_32KEY = 0x200;

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class TRegistry {
public:
    explicit TRegistry(std::uint32_t access = KEY_ALL_ACCESS);
    virtual ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const { return root_; }
    void SetRootKey(HKEY root);
    std::uint32_t Access() const { return access_; }
    void SetAccess(std::uint32_t access) { access_ = access; }
    bool LazyWrite = false;  // accepted for compatibility; every write is stored at once

    // Opens a key (relative to the root; a leading "\" is ignored). canCreate makes it and
    // its parents when missing. False when the key does not exist (or cannot be stored).
    bool OpenKey(std::string_view key, bool canCreate);
    bool OpenKeyReadOnly(std::string_view key);
    void CloseKey();
    // KeyExists and DeleteKey take a key relative to the open key (relative to the root when
    // no key is open or the key starts with "\"), as the class library does.
    bool KeyExists(std::string_view key);
    bool DeleteKey(std::string_view key);  // with its subkeys
    const std::string& CurrentPath() const { return path_; }

    bool ValueExists(std::string_view name) const;
    bool DeleteValue(std::string_view name);
    void GetValueNames(TStringList& out) const;
    void GetKeyNames(TStringList& out) const;
    TRegDataType GetDataType(std::string_view name) const;

    // Reads raise ERegistryException("Invalid data type for '<name>'") when the value exists
    // with another type. A missing value reads as "" / raises for integers and binaries as the
    // class library does ("Invalid data type for '<name>'").
    std::string ReadString(std::string_view name) const;
    int ReadInteger(std::string_view name) const;
    bool ReadBool(std::string_view name) const;  // stored as an integer, non-zero = true
    TDateTime ReadDateTime(std::string_view name) const;  // 8-byte binary double
    std::string ReadBinaryData(std::string_view name) const;
    // Writes raise ERegistryException("Failed to set data for '<name>'") when no key is open
    // or the store cannot be written.
    void WriteString(std::string_view name, std::string_view value);
    void WriteInteger(std::string_view name, int value);
    void WriteBool(std::string_view name, bool value);
    void WriteDateTime(std::string_view name, TDateTime value);
    void WriteBinaryData(std::string_view name, std::string_view bytes);

    // Where a root's hive is read from / written to (for tests and diagnostics).
    static std::string HivePathForRead(HKEY root);
    static std::string HivePathForWrite(HKEY root);
    // The two files that can stand for HKEY_LOCAL_MACHINE: the system hive and this user's
    // own store (one and the same file under $VEMRA_REGISTRY_DIR).
    static std::string SystemMachineHive();
    static std::string UserMachineHive();
    // From now on HKEY_LOCAL_MACHINE is this file alone, for reads and writes; "" goes back
    // to the rule above. Not thread-safe: set it at start, before any other thread reads.
    static void PinMachineHive(std::string path);

    // Test hook: called with the temporary file's path once a hive's new text is written and
    // flushed, just before the temporary file replaces the hive. nullptr removes it.
    using ReplaceHook = void (*)(const std::string& tempPath);
    static void SetReplaceHook(ReplaceHook hook);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    HKEY root_ = HKEY_CURRENT_USER;
    std::uint32_t access_;
    std::string path_;
    bool open_ = false;
};

// Gathers this thread's writes to one root from its creation to its Commit, and stores them
// then in one replace of the hive file: a kill leaves the old values or all the new ones.
// Reads meanwhile see the gathered writes. A batch made while one of the same root is open
// joins it: its Commit stores nothing and the outer one stores both. Nothing is stored without
// a Commit: a batch that ends without one (an exception) drops the writes of the whole batch.
// A write that another program made meanwhile stays: the commit applies the gathered writes
// to the hive as the file holds it then; a key it deleted meanwhile refuses the whole batch.
class TRegistryBatch {
public:
    explicit TRegistryBatch(HKEY root);
    ~TRegistryBatch();
    TRegistryBatch(const TRegistryBatch&) = delete;
    TRegistryBatch& operator=(const TRegistryBatch&) = delete;
    // False when the writes could not be stored, with errno telling why (the hive file then
    // stays as it was), or when a joined batch had dropped them.
    bool Commit();

private:
    HKEY root_;
    bool ended_ = false;
};

}  // namespace vemra
