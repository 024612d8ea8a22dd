#include "app/picture_button.h"

#include <QPainter>
#include <QPainterPath>

namespace tarvex {

namespace {

// Largest pixel size (down to 5) at which the text fits the width.
QFont fittedFont(const QFont& base, const QString& text, int width, int pixelSize,
                 bool bold = false) {
    QFont font = base;
    font.setBold(bold);
    for (int size = pixelSize; size >= 5; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(text) <= width)
            break;
    }
    return font;
}

const QColor FaceUp(0xD8, 0xDC, 0xE4);
const QColor FaceDown(0x2E, 0x4A, 0x7A);
const QColor InkUp(0x10, 0x20, 0x60);
const QColor InkDown(0xFF, 0xE8, 0x60);

} // namespace

PictureButton::PictureButton(const QString& caption, const QString& subCaption, bool checkable,
                             QWidget* parent)
    : QAbstractButton(parent), m_caption(caption), m_subCaption(subCaption) {
    setCheckable(checkable);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(subCaption.isEmpty() ? caption : caption + ' ' + subCaption);
}

PictureButton::PictureButton(Face wave, const QString& caption, QWidget* parent)
    : QAbstractButton(parent), m_face(wave), m_caption(caption) {
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(caption);
}

QSize PictureButton::sizeHint() const {
    return {50, 25};
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool down = isDown() || isChecked();
    const QRect frame = rect();
    painter.fillRect(frame, down ? FaceDown : FaceUp);

    // Bevel: light top-left and dark bottom-right when up, the reverse when down.
    const QColor light = down ? QColor(0x10, 0x18, 0x30) : QColor(Qt::white);
    const QColor dark = down ? QColor(0x90, 0xA0, 0xC0) : QColor(0x60, 0x64, 0x70);
    painter.setPen(light);
    painter.drawLine(frame.topLeft(), frame.topRight());
    painter.drawLine(frame.topLeft(), frame.bottomLeft());
    painter.setPen(dark);
    painter.drawLine(frame.bottomLeft(), frame.bottomRight());
    painter.drawLine(frame.topRight(), frame.bottomRight());

    QColor ink = down ? InkDown : InkUp;
    if (!isEnabled())
        ink = QColor(0x90, 0x90, 0x90);
    painter.setPen(ink);
    const QRect inner = frame.adjusted(2, 2, -2, -2);

    if (m_face != Face::Text) {
        const QRect waveArea(inner.left() + 3, inner.top() + 1, inner.width() - 6,
                             inner.height() / 2 - 1);
        drawWave(painter, waveArea);
        const QRect textArea(inner.left(), inner.top() + inner.height() / 2, inner.width(),
                             inner.height() - inner.height() / 2);
        painter.setFont(fittedFont(font(), m_caption, textArea.width(), 8));
        painter.drawText(textArea, Qt::AlignCenter, m_caption);
        return;
    }
    if (m_subCaption.isEmpty()) {
        painter.setFont(fittedFont(font(), m_caption, inner.width(), 11, true));
        painter.drawText(inner, Qt::AlignCenter, m_caption);
        return;
    }
    const int half = inner.height() / 2 + 1;
    const QRect top(inner.left(), inner.top(), inner.width(), half);
    const QRect bottom(inner.left(), inner.top() + half, inner.width(), inner.height() - half);
    painter.setFont(fittedFont(font(), m_caption, top.width(), 10, true));
    painter.drawText(top, Qt::AlignHCenter | Qt::AlignBottom, m_caption);
    painter.setFont(fittedFont(font(), m_subCaption, bottom.width(), 7));
    painter.drawText(bottom, Qt::AlignHCenter | Qt::AlignTop, m_subCaption);
}

void PictureButton::drawWave(QPainter& painter, const QRect& area) const {
    // Two periods of a square wave; the inverted face starts low.
    const bool startHigh = m_face == Face::WaveNormal;
    const int high = area.top() + 1;
    const int low = area.bottom() - 1;
    const double step = area.width() / 4.0;
    QPainterPath path;
    int level = startHigh ? high : low;
    path.moveTo(area.left(), level);
    for (int i = 1; i <= 4; ++i) {
        const double x = area.left() + step * i;
        path.lineTo(x, level);
        if (i < 4) {
            level = level == high ? low : high;
            path.lineTo(x, level);
        }
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

} // namespace tarvex
