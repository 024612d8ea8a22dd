#pragma once
// Two-state buttons whose faces are small drawings: a caption over a sub-caption, or a
// square wave (normal or inverted) over a caption. Used for the page buttons, which sit
// in exclusive groups, and for the plain command buttons of the main window.
#include <QAbstractButton>
#include <QFont>
#include <QList>
#include <QRect>
#include <QString>

namespace tarvex {

class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Face { Text, WaveNormal, WaveInverted };

    /// A face with a caption and an optional smaller caption beneath it. Checkable buttons
    /// stay down until another button of their group is pressed.
    PictureButton(const QString& caption, const QString& subCaption, bool checkable,
                  QWidget* parent = nullptr);
    /// A face with a square wave drawn above the caption.
    PictureButton(Face wave, const QString& caption, QWidget* parent = nullptr);

    QString caption() const { return m_caption; }
    QString subCaption() const { return m_subCaption; }
    Face face() const { return m_face; }

    QSize sizeHint() const override;

    /// One text of the face as it is drawn: the font and the area it is centred in.
    struct FaceText {
        QString text;
        QFont font;
        QRect area;
    };
    /// The face's texts (caption, then sub-caption) as paintEvent draws them.
    QList<FaceText> faceTexts() const;
    /// Sizes the captions of every button for the widest of them, and the sub-captions
    /// likewise, so that a group's faces read alike.
    static void drawFacesAlike(const QList<PictureButton*>& buttons);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void drawWave(QPainter& painter, const QRect& area) const;

    Face m_face = Face::Text;
    QString m_caption;
    QString m_subCaption;
    QString m_captionSample; ///< what the caption is sized for (empty: itself)
    QString m_subSample;
};

} // namespace tarvex
