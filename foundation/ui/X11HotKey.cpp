// Hot keys on X11: the key is grabbed on the root window of the application's own xcb
// connection, once for each combination of Num Lock and Caps Lock, so the key works whatever
// the lock state; a key another client holds comes back as BadAccess on the checked grab and
// is reported, not crashed on. The presses arrive in Qt's event stream and a native event
// filter picks them out.

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QtGui/qguiapplication_platform.h>

#include <array>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "HotKey.h"
#include "WindowSystem.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>

namespace vemra {

namespace {

constexpr std::uint8_t kBadAccess = 10;

std::uint32_t KeySymOfVirtualKey(int vk) {
  if (vk >= 'A' && vk <= 'Z') return XK_a + static_cast<std::uint32_t>(vk - 'A');
  if (vk >= '0' && vk <= '9') return XK_0 + static_cast<std::uint32_t>(vk - '0');
  if (vk >= VK_F1 && vk < VK_F1 + 24) return XK_F1 + static_cast<std::uint32_t>(vk - VK_F1);
  switch (vk) {
    case VK_SPACE: return XK_space;
    case VK_INSERT: return XK_Insert;
    case VK_DELETE: return XK_Delete;
    default: return 0;
  }
}

class TX11HotKeys final : public IHotKeys, public QAbstractNativeEventFilter {
 public:
  TX11HotKeys(xcb_connection_t* connection, xcb_window_t root) : connection_(connection), root_(root) {
    ReadKeyboard();
    QCoreApplication::instance()->installNativeEventFilter(this);
  }
  ~TX11HotKeys() override {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const auto& entry : keys_) Ungrab(entry.second);
    xcb_flush(connection_);
  }

  THotKeyResult Register(int identifier, unsigned modifiers, int virtualKey) override {
    if (keys_.count(identifier) != 0) return THotKeyResult::Failed;
    const xcb_keycode_t code = KeyCodeOf(KeySymOfVirtualKey(virtualKey));
    if (code == 0) return THotKeyResult::Failed;
    Binding binding{code, XModifiers(modifiers)};
    std::vector<xcb_void_cookie_t> cookies;
    for (std::uint16_t variant : LockVariants())
      cookies.push_back(xcb_grab_key_checked(connection_, 1, root_, binding.modifiers | variant, code,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    THotKeyResult result = THotKeyResult::Registered;
    for (const xcb_void_cookie_t cookie : cookies) {
      if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
        if (result == THotKeyResult::Registered)
          result = error->error_code == kBadAccess ? THotKeyResult::Taken : THotKeyResult::Failed;
        std::free(error);
      }
    }
    if (result != THotKeyResult::Registered) {
      // The variants that did succeed would keep a half-working key.
      Ungrab(binding);
      xcb_flush(connection_);
      return result;
    }
    keys_[identifier] = binding;
    return result;
  }

  bool Unregister(int identifier) override {
    const auto found = keys_.find(identifier);
    if (found == keys_.end()) return false;
    Ungrab(found->second);
    xcb_flush(connection_);
    keys_.erase(found);
    return true;
  }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
    const auto* press = static_cast<const xcb_key_press_event_t*>(message);
    if (press->event != root_) return false;
    const std::uint16_t held = press->state & kModifierMask;
    for (const auto& [identifier, binding] : keys_) {
      if (binding.code != press->detail || binding.modifiers != held) continue;
      const int id = identifier;
      // Handled after the event dispatch, as the window message would be.
      QMetaObject::invokeMethod(
          QCoreApplication::instance(), [this, id] { if (Pressed) Pressed(id); }, Qt::QueuedConnection);
      return true;
    }
    return false;
  }

 private:
  struct Binding {
    xcb_keycode_t code = 0;
    std::uint16_t modifiers = 0;
  };
  static constexpr std::uint16_t kModifierMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

  static std::uint16_t XModifiers(unsigned modifiers) {
    std::uint16_t mask = 0;
    if (modifiers & MOD_ALT) mask |= XCB_MOD_MASK_1;
    if (modifiers & MOD_CONTROL) mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & MOD_SHIFT) mask |= XCB_MOD_MASK_SHIFT;
    return mask;
  }

  std::array<std::uint16_t, 4> LockVariants() const {
    return {0, numLockMask_, XCB_MOD_MASK_LOCK, static_cast<std::uint16_t>(numLockMask_ | XCB_MOD_MASK_LOCK)};
  }

  void Ungrab(const Binding& binding) {
    for (std::uint16_t variant : LockVariants())
      xcb_ungrab_key(connection_, binding.code, root_, binding.modifiers | variant);
  }

  // The keyboard mapping (keysyms per key code) and the modifier that carries Num Lock.
  void ReadKeyboard() {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    minCode_ = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto* mapping = xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, static_cast<std::uint8_t>(count)),
        nullptr);
    if (mapping != nullptr) {
      perCode_ = mapping->keysyms_per_keycode;
      const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping);
      symbols_.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(mapping));
      std::free(mapping);
    }
    numLockMask_ = XCB_MOD_MASK_2;  // the usual place, when the mapping does not say
    const xcb_keycode_t numLock = KeyCodeOf(XK_Num_Lock);
    auto* modifiers =
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr);
    if (modifiers != nullptr && numLock != 0) {
      const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers);
      const int perModifier = modifiers->keycodes_per_modifier;
      for (int m = 0; m < 8; ++m)
        for (int k = 0; k < perModifier; ++k)
          if (codes[m * perModifier + k] == numLock) numLockMask_ = static_cast<std::uint16_t>(1u << m);
    }
    std::free(modifiers);
  }

  xcb_keycode_t KeyCodeOf(std::uint32_t keysym) const {
    if (keysym == 0 || perCode_ == 0) return 0;
    for (std::size_t i = 0; i < symbols_.size(); ++i)
      if (symbols_[i] == keysym) return static_cast<xcb_keycode_t>(minCode_ + i / perCode_);
    return 0;
  }

  xcb_connection_t* connection_;
  xcb_window_t root_;
  std::map<int, Binding> keys_;
  std::vector<xcb_keysym_t> symbols_;
  std::size_t perCode_ = 0;
  int minCode_ = 0;
  std::uint16_t numLockMask_ = XCB_MOD_MASK_2;
};

}  // namespace

std::unique_ptr<IHotKeys> CreateX11HotKeys() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr || x11->connection() == nullptr) return nullptr;
  xcb_connection_t* connection = x11->connection();
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (screen == nullptr) return nullptr;
  return std::make_unique<TX11HotKeys>(connection, screen->root);
}

}  // namespace vemra
