#pragma once
// Global hot keys behind one small interface: an X11 implementation that grabs the key on
// the root window of the application's own display connection and reads the presses in a
// native event filter, and a recording fake for offscreen tests. The free functions use the
// installed implementation; without an X display every registration fails.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace vemra {

// Modifier bits as the program stores them for a hot key.
inline constexpr unsigned MOD_ALT = 1;
inline constexpr unsigned MOD_CONTROL = 2;
inline constexpr unsigned MOD_SHIFT = 4;

enum class THotKeyResult {
  Registered,
  Taken,     // another client holds that key with those modifiers
  Failed,    // no display, a key the keyboard lacks, or an identifier in use
};

class IHotKeys {
 public:
  virtual ~IHotKeys() = default;
  // Grabs the virtual key (VK_F1.., letters, digits) with the modifiers under the identifier.
  virtual THotKeyResult Register(int identifier, unsigned modifiers, int virtualKey) = 0;
  // Releases the identifier's key; false when it was not registered.
  virtual bool Unregister(int identifier) = 0;
  // Runs on the GUI thread with the identifier of a registered key that was pressed.
  std::function<void(int identifier)> Pressed;
};

// The installed implementation: the X11 one when the application runs on the xcb platform,
// else one whose registrations fail.
IHotKeys& HotKeys();
// Installs an implementation (not owned; nullptr restores the default). For tests.
void SetHotKeys(IHotKeys* implementation);
// Grabs on the application's xcb connection; nullptr when it runs on another platform.
std::unique_ptr<IHotKeys> CreateX11HotKeys();

// Records registrations; Press() plays a key press as the desktop would deliver it.
class TRecordingHotKeys : public IHotKeys {
 public:
  THotKeyResult Register(int identifier, unsigned modifiers, int virtualKey) override;
  bool Unregister(int identifier) override;
  // Calls Pressed for the identifier registered with that key and those modifiers.
  bool Press(unsigned modifiers, int virtualKey);

  std::map<int, std::pair<unsigned, int>> registered;  // identifier -> (modifiers, key)
  std::set<std::pair<unsigned, int>> taken;            // keys that "another program" holds
};

}  // namespace vemra
