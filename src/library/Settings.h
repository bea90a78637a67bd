#pragma once

#include <QByteArray>

#include <optional>
#include <vector>

// What the program remembers between runs on one computer, kept in the
// library file beside the user record: the program keeps no other
// configuration. The names of WordDatabase::setting.
namespace Settings {
// The exchange server's address chosen in the user information window.
inline constexpr char kServerAddress[] = "server";
// The directory the directory box showed, as file-system bytes.
inline constexpr char kLastDirectory[] = "directory";
// The main window's size, position and maximised state (base64).
inline constexpr char kMainWindowGeometry[] = "window";
// The hit list's column widths the user dragged, "w0,w1,…"; 0 keeps the layout's.
inline constexpr char kHitColumnWidths[] = "hitColumns";
// The word library window's size, "width,height".
inline constexpr char kWordLibrarySize[] = "libraryWindow";

// Numbers as "a,b,c"; read back only when there are exactly `count` of them,
// each within 0 to 100000, so that a damaged value is ignored, not applied.
QByteArray numbersText(const std::vector<int>& numbers);
std::optional<std::vector<int>> numbersFrom(const QByteArray& text, std::size_t count);
}  // namespace Settings
