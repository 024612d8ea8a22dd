#pragma once
// The fonts the windows are drawn in. The windows were laid out for a narrow sans serif of
// 11 pixels; where the desktop lacks it, the narrowest sans serif it has stands in, one or
// two pixels smaller when it runs wider, so that every caption fits its control.
#include <QFont>

class QWidget;

namespace tarvex {

/// The windows' own character height, in logical pixels.
inline constexpr int WindowFontPixels = 11;

/// The windows' sans-serif font, `pixels` high (or a little less for a wide stand-in).
QFont uiFont(int pixels = WindowFontPixels);

/// A fixed-pitch font `pixels` high for codeword listings.
QFont listingFont(int pixels);

/// Gives a window its font; called before its controls are placed, which measure with it.
void useWindowFont(QWidget& window);

} // namespace tarvex
