#include "app/window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <limits>

namespace tarvex {

namespace {

/// Used for the title bar until the window manager has framed the window.
constexpr int AssumedTitleHeight = 24;

int clampInto(int start, int length, int areaStart, int areaLength) {
    if (length >= areaLength)
        return areaStart;
    return std::clamp(start, areaStart, areaStart + areaLength - length);
}

long long distanceSquared(const QRect& a, const QRect& b) {
    const long long dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const long long dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return dx * dx + dy * dy;
}

QList<QRect> usableAreas() {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return areas;
}

/// A window brought back onto a screen before the window manager framed it was placed with
/// a guessed frame: once the real frame is known, it is put wholly on that screen.
class WholeOnceFramed : public QObject {
public:
    WholeOnceFramed(QWidget& window, QPoint place)
        : QObject(&window), m_window(window), m_place(place) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        QWindow* handle = m_window.windowHandle();
        if (watched != &m_window || handle == nullptr ||
            (event->type() != QEvent::Move && event->type() != QEvent::Resize &&
             event->type() != QEvent::WindowActivate) ||
            handle->frameMargins().isNull())
            return false;
        const QRect frame(m_place, handle->frameGeometry().size());
        const QPoint place = clampToNearest(frame, usableAreas());
        if (place != frame.topLeft())
            handle->setFramePosition(place);
        m_window.removeEventFilter(this);
        deleteLater();
        return false;
    }

private:
    QWidget& m_window;
    QPoint m_place; ///< where the frame was put
};

} // namespace

QPoint placeOnScreens(const QRect& frame, const QList<QRect>& screens, int titleHeight) {
    const QRect title(frame.left(), frame.top(), frame.width(), std::max(1, titleHeight));
    for (const QRect& area : screens) {
        const QRect shown = area.intersected(title);
        if (shown.height() == title.height() &&
            shown.width() >= std::min(MinVisibleTitle, title.width()))
            return frame.topLeft();
    }
    return clampToNearest(frame, screens);
}

QPoint clampToNearest(const QRect& frame, const QList<QRect>& screens) {
    const QRect* nearest = nullptr;
    long long best = std::numeric_limits<long long>::max();
    for (const QRect& area : screens) {
        const long long d = distanceSquared(frame, area);
        if (d < best) {
            best = d;
            nearest = &area;
        }
    }
    if (nearest == nullptr)
        return frame.topLeft();
    return {clampInto(frame.left(), frame.width(), nearest->left(), nearest->width()),
            clampInto(frame.top(), frame.height(), nearest->top(), nearest->height())};
}

void prepareFramePosition(QWidget& window, QPoint frameTopLeft) {
    // Moved before the native window exists, a window's position is that of its frame: the
    // native window asks the window manager to put the frame's corner there (north-west
    // gravity) rather than the client area's, so later frame positions need no frame size.
    window.move(frameTopLeft);
}

void moveFrameTo(QWidget& window, QPoint frameTopLeft) {
    QRect frame = window.frameGeometry();
    const int title = window.geometry().top() > frame.top() ? window.geometry().top() - frame.top()
                                                            : AssumedTitleHeight;
    if (frame.size() == window.size()) // not framed yet: allow for the frame to come
        frame.adjust(0, 0, 0, title);
    frame.moveTopLeft(frameTopLeft);
    const QPoint place = placeOnScreens(frame, usableAreas(), title);
    if (place != frameTopLeft && frame.size() != window.frameGeometry().size())
        new WholeOnceFramed(window, place); // owned by the window
    if (QWindow* handle = window.windowHandle(); handle != nullptr && window.isVisible())
        handle->setFramePosition(place);
    else
        window.move(place);
}

} // namespace tarvex
