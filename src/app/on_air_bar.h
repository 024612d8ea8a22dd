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
/// Draws the lamp's text at the largest size up to `largestPixels` at which it fits the lamp
/// (8 pixels at the least), so that a long state never runs past the lamp's edges.
void fitLampText(QLabel& lamp, int largestPixels);
/// A transmission that was keyed for but did not go out as it should: its sound did not
/// play, or the line failed to key the transmitter for it (a STOP is no failure).
bool notSent(const TxOutcome& out);

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
    void paintLamp();

    QLabel* m_lamp = nullptr;
    QPushButton* m_stop = nullptr;
    OnAirState m_state = OnAirState::Idle;
    TxSource m_source = TxSource::Operator;
    bool m_notSent = false; ///< the last transmission did not go out: released, NOT SENT
    int m_lampPixels = 12;  ///< the lamp's text size when it fits
};

} // namespace tarvex
