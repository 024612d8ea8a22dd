#include "app/ui_font.h"

#include <QFontMetrics>
#include <QWidget>

namespace tarvex {

namespace {

/// A caption the layout was drawn for, and the room it had at 11 pixels.
constexpr const char* ReferenceText = "Sync CodeWord";
constexpr int ReferenceWidth = 80;
/// How far a wide stand-in font is made smaller.
constexpr int MaxShrink = 2;

QFont sansFamilies() {
    QFont font;
#ifdef Q_OS_WIN
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif")});
#else
    // DejaVu Sans Condensed comes with Debian's fonts-dejavu-extra; DejaVu Sans with every
    // Debian desktop.
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Liberation Sans")});
#endif
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace

QFont uiFont(int pixels) {
    QFont font = sansFamilies();
    for (int size = pixels; size >= pixels - MaxShrink; --size) {
        font.setPixelSize(size);
        const int room = ReferenceWidth * size / WindowFontPixels;
        if (QFontMetrics(font).horizontalAdvance(QLatin1String(ReferenceText)) <= room)
            break;
    }
    return font;
}

QFont listingFont(int pixels) {
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("DejaVu Sans Mono")});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(pixels);
    return font;
}

void useWindowFont(QWidget& window) {
    window.setFont(uiFont());
}

} // namespace tarvex
