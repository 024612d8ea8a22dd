#pragma once
// The on-air lamp as every window shows it (colour and wording for each state of the
// transmitter), and the strip with the lamp and a STOP of its own that the dialogs which can
// key the transmitter carry: the main window's STOP cannot be reached while a modal dialog
// covers it.
#include "station/station_events.h"

#include <QWidget>

#include <functional>

class QDialog;
class QLabel;
class QPushButton;

namespace tarvex {

class Station;

/// Paints the lamp for the state: its colour and its wording.
void showLamp(QLabel& lamp, OnAirState state, TxSource source);
/// Paints the released lamp after a transmission that did not go out as it should.
void showNotSentLamp(QLabel& lamp);

class OnAirBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int Height = 34;

    OnAirBar(Station& station, std::function<void()> stop, QWidget* parent);

    /// Adds a bar along the bottom of a fixed-size dialog, which grows by its height. A dialog
    /// with a Stop of its own (the fast search) takes the lamp alone: one stop button, not two.
    static OnAirBar* attach(QDialog& dialog, Station& station, std::function<void()> stop,
                            bool withStop = true);

    QString lampText() const;
    QPushButton* stopButton() const { return m_stop; }

private:
    QLabel* m_lamp = nullptr;
    QPushButton* m_stop = nullptr;
};

} // namespace tarvex
