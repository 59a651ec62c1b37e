// What every skinned window shares: colours written as the design writes them, the design's fonts and the
// application icon.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <cstdint>

namespace ktv {

// A colour value 0x00BBGGRR.
constexpr QRgb WinRgb(uint32_t value) {
  return qRgb(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
              static_cast<int>((value >> 16) & 0xFF));
}
inline QColor WinColor(uint32_t value) {
  return QColor(WinRgb(value));
}

// The dark grey of every dialog's client area.
constexpr uint32_t kDialogColor = 0x404040;

// "Tahoma" or "Arial" at a point size. The face names stay the design's; where the system has no such face,
// both map to Liberation Sans (installed once, on first use).
QFont DesignFont(const char* face, int points, bool bold = false);

// The program's icon: the application's window icon, else the icon artwork; null when neither exists.
QIcon ApplicationIcon();

}  // namespace ktv
