#include "app/picture_button.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace tarvex {

namespace {

/// Pixel sizes a face text is drawn at: the largest that fits, never below the smallest.
struct SizeRange {
    int largest;
    int smallest;
};
constexpr SizeRange CaptionSizes{11, 9};
constexpr SizeRange SubCaptionSizes{10, 7};
constexpr SizeRange WaveCaptionSizes{9, 9};

bool fits(const QFont& font, const QString& text, const QSize& room) {
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(text) <= room.width() &&
           metrics.tightBoundingRect(text).height() <= room.height();
}

/// The largest size in `range` at which `sample` fits `room`: bold when asked and bold fits,
/// else regular; narrowed when the desktop's font is too wide at the smallest size; the
/// smallest size when nothing fits.
QFont fittedFont(const QFont& base, const QString& sample, const QSize& room, SizeRange range,
                 bool bold) {
    QFont font = base;
    for (const int stretch : {100, 90, 80}) {
        font.setStretch(stretch);
        for (const bool weight : {bold, false}) {
            font.setBold(weight);
            for (int size = range.largest; size >= range.smallest; --size) {
                font.setPixelSize(size);
                if (fits(font, sample, room))
                    return font;
            }
        }
    }
    font.setBold(false);
    font.setPixelSize(range.smallest);
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
    // Reached by Tab, never by a click: a click leaves the focus (and the RIC/CAP field's
    // check on leaving it) where it was.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(subCaption.isEmpty() ? caption : caption + ' ' + subCaption);
}

PictureButton::PictureButton(Face wave, const QString& caption, QWidget* parent)
    : QAbstractButton(parent), m_face(wave), m_caption(caption) {
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(caption);
}

QSize PictureButton::sizeHint() const {
    return {50, 25};
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
    // Space presses the button as for any button; Enter does too.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
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
    if (m_face != Face::Text) {
        const QRect inner = frame.adjusted(1, 1, -1, -1);
        const QRect waveArea(inner.left() + 4, inner.top() + 1, inner.width() - 8,
                             inner.height() / 2 - 1);
        drawWave(painter, waveArea);
    }
    if (hasFocus()) {
        // The focus shows as a dashed frame inside the bevel, in the face's ink.
        painter.save();
        painter.setPen(QPen(ink, 1, Qt::DashLine));
        painter.drawRect(frame.adjusted(2, 2, -3, -3));
        painter.restore();
    }
    const QList<FaceText> texts = faceTexts();
    for (int i = 0; i < texts.size(); ++i) {
        const FaceText& t = texts[i];
        int align = Qt::AlignCenter;
        if (texts.size() == 2 && m_face == Face::Text)
            align = Qt::AlignHCenter | (i == 0 ? Qt::AlignBottom : Qt::AlignTop);
        painter.setFont(t.font);
        painter.drawText(t.area, align, t.text);
    }
}

QList<PictureButton::FaceText> PictureButton::faceTexts() const {
    // Inside the one-pixel bevel, with two pixels left and right so that no caption touches
    // the edges. Texts are sized for the group's samples, so every button of a group draws its
    // captions alike.
    const QRect inner = rect().adjusted(3, 1, -3, -1);
    const QString& sample = m_captionSample.isEmpty() ? m_caption : m_captionSample;
    if (m_face != Face::Text) {
        const QRect textArea(inner.left(), inner.top() + inner.height() / 2, inner.width(),
                             inner.height() - inner.height() / 2);
        return {{m_caption, fittedFont(font(), sample, textArea.size(), WaveCaptionSizes, false),
                 textArea}};
    }
    if (m_subCaption.isEmpty())
        return {{m_caption, fittedFont(font(), sample, inner.size(), CaptionSizes, true), inner}};
    const int half = inner.height() / 2 + 1;
    const QRect top(inner.left(), inner.top(), inner.width(), half);
    const QRect bottom(inner.left(), inner.top() + half, inner.width(), inner.height() - half);
    const QString& subSample = m_subSample.isEmpty() ? m_subCaption : m_subSample;
    return {{m_caption, fittedFont(font(), sample, top.size(), CaptionSizes, true), top},
            {m_subCaption, fittedFont(font(), subSample, bottom.size(), SubCaptionSizes, false),
             bottom}};
}

void PictureButton::drawFacesAlike(const QList<PictureButton*>& buttons) {
    const auto widest = [&buttons](auto text) {
        QString sample;
        int width = -1;
        for (const PictureButton* b : buttons) {
            const int w = QFontMetrics(b->font()).horizontalAdvance(text(b));
            if (w > width) {
                width = w;
                sample = text(b);
            }
        }
        return sample;
    };
    const QString caption = widest([](const PictureButton* b) { return b->m_caption; });
    const QString sub = widest([](const PictureButton* b) { return b->m_subCaption; });
    for (PictureButton* b : buttons) {
        b->m_captionSample = caption;
        b->m_subSample = sub;
        b->update();
    }
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
