#include "Colors.h"

#include <QApplication>
#include <QPalette>

namespace vemra {

QColor TColorToQColor(TColor color) {
  if (color == clNone) return QColor(Qt::transparent);
  if (color == clDefault) return QColor();
  const auto value = static_cast<std::uint32_t>(color);
  if (value & 0x80000000u) {
    const QPalette palette = QApplication::palette();
    switch (value & 0xFFu) {
      case 0x05: return palette.color(QPalette::Base);
      case 0x08: return palette.color(QPalette::Text);
      case 0x0D: return palette.color(QPalette::Highlight);
      case 0x0E: return palette.color(QPalette::HighlightedText);
      case 0x11: return palette.color(QPalette::Disabled, QPalette::Text);
      case 0x12: return palette.color(QPalette::ButtonText);
      case 0x17: return palette.color(QPalette::ToolTipText);
      case 0x18: return palette.color(QPalette::ToolTipBase);
      default: return palette.color(QPalette::Button);
    }
  }
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

TColor QColorToTColor(const QColor& color) {
  return static_cast<TColor>(color.red() | (color.green() << 8) | (color.blue() << 16));
}

}  // namespace vemra
