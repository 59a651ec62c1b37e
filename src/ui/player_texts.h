// Texts the player's windows show in more than one place.
#pragma once

namespace ktv {

// The application's title: the main window's caption, the console's caption between notifications, the
// tray icon's tip.
constexpr const char* kPlayerTitle = "Kestrova.TV Player";

}  // namespace ktv
