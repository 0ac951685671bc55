#pragma once
// TColor values (0x00BBGGRR, as the program's files and settings store them) as QColor.

#include <QColor>
#include <cstdint>

namespace vemra {

using TColor = std::int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;
// System colours: 0x80000000 | the system colour index.
inline constexpr TColor clWindow = static_cast<TColor>(0x80000005);
inline constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
inline constexpr TColor clBtnText = static_cast<TColor>(0x80000012);
inline constexpr TColor clHighlight = static_cast<TColor>(0x8000000D);
inline constexpr TColor clHighlightText = static_cast<TColor>(0x8000000E);
inline constexpr TColor clGrayText = static_cast<TColor>(0x80000011);
inline constexpr TColor clInfoBk = static_cast<TColor>(0x80000018);
inline constexpr TColor clInfoText = static_cast<TColor>(0x80000017);

// An RGB value 0x00BBGGRR as an opaque QColor; a system colour through the application's
// palette; clNone gives a transparent colour, clDefault an invalid one.
QColor TColorToQColor(TColor color);
// The opposite for an opaque colour: 0x00BBGGRR.
TColor QColorToTColor(const QColor& color);

}  // namespace vemra
