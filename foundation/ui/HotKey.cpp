#include "HotKey.h"

#include <QGuiApplication>

namespace vemra {

namespace {
class TNoHotKeys final : public IHotKeys {
 public:
  THotKeyResult Register(int, unsigned, int) override { return THotKeyResult::Failed; }
  bool Unregister(int) override { return false; }
};
IHotKeys* installedHotKeys = nullptr;
}  // namespace

IHotKeys& HotKeys() {
  static TNoHotKeys none;
  if (installedHotKeys) return *installedHotKeys;
  static std::unique_ptr<IHotKeys> x11;
  static bool decided = false;
  if (!decided && qGuiApp) {
    decided = true;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) x11 = CreateX11HotKeys();
  }
  return x11 ? *x11 : none;
}

void SetHotKeys(IHotKeys* implementation) { installedHotKeys = implementation; }

THotKeyResult TRecordingHotKeys::Register(int identifier, unsigned modifiers, int virtualKey) {
  if (registered.count(identifier) != 0) return THotKeyResult::Failed;
  if (taken.count({modifiers, virtualKey}) != 0) return THotKeyResult::Taken;
  registered[identifier] = {modifiers, virtualKey};
  return THotKeyResult::Registered;
}

bool TRecordingHotKeys::Unregister(int identifier) { return registered.erase(identifier) != 0; }

bool TRecordingHotKeys::Press(unsigned modifiers, int virtualKey) {
  for (const auto& [identifier, key] : registered) {
    if (key.first == modifiers && key.second == virtualKey) {
      if (Pressed) Pressed(identifier);
      return true;
    }
  }
  return false;
}

}  // namespace vemra
