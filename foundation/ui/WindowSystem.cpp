#include "WindowSystem.h"

namespace vemra {

namespace {
class TNoWindowSystem final : public IWindowSystem {
 public:
  bool Available() const override { return false; }
  bool IsCtrlDown() override { return false; }
  bool IsLeftButtonDown() override { return false; }
  void SendKey(int, bool) override {}
  bool ForceForegroundWindow(QWidget*) override { return false; }
};
IWindowSystem* installed = nullptr;
}  // namespace

IWindowSystem& WindowSystem() {
  static TNoWindowSystem none;
  return installed ? *installed : none;
}
void SetWindowSystem(IWindowSystem* implementation) { installed = implementation; }

void TRecordingWindowSystem::SendKey(int virtualKey, bool down) { keys.push_back({virtualKey, down}); }
bool TRecordingWindowSystem::ForceForegroundWindow(QWidget* window) {
  foregroundCalls.push_back(window);
  return foregroundResult;
}

bool IsCtrlDown() { return WindowSystem().IsCtrlDown(); }
bool IsLeftButtonDown() { return WindowSystem().IsLeftButtonDown(); }
void PressKey(int virtualKey) {
  WindowSystem().SendKey(virtualKey, true);
  WindowSystem().SendKey(virtualKey, false);
}
void KeyDown(int virtualKey) { WindowSystem().SendKey(virtualKey, true); }
void KeyUp(int virtualKey) { WindowSystem().SendKey(virtualKey, false); }
bool ForceForegroundWindow(QWidget* window) { return WindowSystem().ForceForegroundWindow(window); }
QWidget* FindVisibleFormByClass(const QString&) { return nullptr; }

}  // namespace vemra
