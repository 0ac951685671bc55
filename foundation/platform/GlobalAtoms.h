#pragma once
// Global atoms between the programs of one user: a named marker with a 16-bit number,
// kept as a file in the per-user runtime folder with the number and the owning process.
// An atom whose owner has died counts as absent, so a crashed converter never blocks the
// next start or the installer.

#include <cstdint>
#include <string>
#include <string_view>

namespace vemra::platform {

// The per-user runtime folder ($XDG_RUNTIME_DIR/vemra, else /tmp/vemra-<uid>), created with
// mode 0700 when missing and narrowed to 0700 when it is the user's own but open to others.
// "" when it cannot be made safe (another user's, a link, a file); problem, when given, then
// gets a sentence that names the folder and says what is wrong.
std::string RuntimeFolder(std::string* problem = nullptr);
// Why the atoms cannot be kept ("" when they can): the runtime folder's problem, or that of
// its "atoms" folder.
std::string AtomFolderProblem();

// Atom numbers of named atoms lie in 0xC000..0xFFFF; 0 means none. Names compare without
// regard to ASCII case. Add returns the existing number when a live atom has the name.
std::uint16_t GlobalAddAtom(std::string_view name);
std::uint16_t GlobalFindAtom(std::string_view name);
// Deletes the atom of that number (owned by any process of the user); 0 is ignored.
void GlobalDeleteAtom(std::uint16_t atom);

}  // namespace vemra::platform
