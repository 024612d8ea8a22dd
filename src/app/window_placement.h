#pragma once
// Where the main window goes on the desktop: the stored Left and Top are the top-left corner
// of the window's frame (title bar included), both when they are read back at start-up and
// when they are written at close, so the window reopens exactly where it was; a stored place
// that would leave the title bar off every screen is brought onto the nearest screen.
#include <QList>
#include <QPoint>
#include <QRect>

class QWidget;

namespace tarvex {

/// The top-left corner for a window frame `frame` on screens whose usable areas are
/// `screens`: frame.topLeft() when a piece of its title strip (the top `titleHeight` pixels,
/// at least MinVisibleTitle wide) lies wholly on one of them, else the frame moved by the
/// least distance into the nearest screen's area.
QPoint placeOnScreens(const QRect& frame, const QList<QRect>& screens, int titleHeight);

/// The top-left corner that puts the whole of `frame` on the screen nearest to it (the top
/// left in view when the frame is larger than the screen).
QPoint clampToNearest(const QRect& frame, const QList<QRect>& screens);

/// How much of the title strip must show for the window to count as on a screen.
inline constexpr int MinVisibleTitle = 48;

/// Readies a top-level window, before it is first shown, for frame positions: its position
/// is then taken as the frame's from the window manager's first placement on.
void prepareFramePosition(QWidget& window, QPoint frameTopLeft);

/// Puts the frame's top-left corner at `frameTopLeft` (on the nearest screen when that place
/// is off every screen). Also right after the window is shown, before the window manager
/// has told the size of its frame.
void moveFrameTo(QWidget& window, QPoint frameTopLeft);

} // namespace tarvex
