#pragma once
// SysCaller: opening documents and addresses with the desktop, system and special folders,
// file copies, resources written to files, shortcuts, file lists and version numbers.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ModuleResources.h"  // HMODULE
#include "rtl/StringList.h"

namespace vemra {

// Opens a file, folder or address with the user's preferred application (parameters, when
// not empty, are passed as one more argument). Returns the shell's result (33 = success);
// a failure raises Exception with RaiseShellError's text.
int ShellOpen(const std::string& fileOrAddress, const std::string& parameters = {});
// Raises Exception with the text of a shell error code; other codes (above 32: success)
// return quietly.
void RaiseShellError(int code);
// 0 the Windows folder, 1 the System folder, 2 the temporary folder (no trailing '/');
// "" for other kinds.
std::string GetSystemDir(int kind);
// The special folder of a kind 0..12 (see platform/SpecialFolders.h) into folder, "" when
// it cannot be resolved; returns true. Kinds outside 0..12 leave folder untouched and
// return false.
bool GetSpecialFolder(int kind, std::string& folder);
// The same as a value: "" for kinds outside 0..12.
std::string GetSpecialFolder(int kind);
// Copies a file (contents, permissions, modification time). False when it fails, when the
// destination exists and failIfExists is set, or when the destination is read-only.
bool CopyFileTo(const std::string& source, const std::string& destination, bool failIfExists);
// Writes the module's resource `resourceName` (nullptr = the program's own) to fileName,
// making its folder; an existing file is replaced. Raises Exception("Resource <name> not
// found") when the module has no such resource, EInOutError when the file cannot be written.
void SaveResourceToFile(const std::string& resourceName, const std::string& fileName,
                        HMODULE module = nullptr);
// Writes the shortcut baseName + ".desktop" that starts target with arguments in the
// target's folder, making baseName's folder. Raises EInOutError on failure.
void CreateShortcut(const std::string& baseName, const std::string& target, const std::string& arguments);
// The names (without folder) of the files and folders that match the mask's name part
// (shell wildcards, letter case ignored) in the mask's folder, in the file system's order, names
// beginning with "." left out. Never null; empty when nothing matches or no such folder.
std::unique_ptr<TStringList> ListFiles(const std::string& mask);
// "9.3.1.1" -> 0x09030101: up to four numbers, each one's low 8 bits, the first most
// significant; reading stops at the first part that is not a number.
std::uint32_t VersionToInt(std::string_view text);

}  // namespace vemra
