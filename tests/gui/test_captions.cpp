// Every caption of every window fits the place it is given: each label, button, check box,
// radio button, group-box title and page-button face is measured with its own font against
// the area the style draws it in, and must not run under a neighbouring control. Run once at
// the desktop's scale factor 1 and once at 2 (QT_SCALE_FACTOR, see CMakeLists.txt).
#include "gui_test_support.h"

#include "app/about_form.h"
#include "app/picture_button.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>

using namespace tarvex;
using namespace tarvex::test;

namespace {

/// The smallest legible face texts of a page button (pixels).
constexpr int MinCaptionPixels = 9;
constexpr int MinSubCaptionPixels = 7;

QString shown(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    out.remove(QLatin1Char('&'));
    out.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return out;
}

class Walker {
public:
    QStringList offences;

    void window(QWidget* top) {
        m_top = top;
        for (QWidget* w : top->findChildren<QWidget*>())
            if (w->window() == top)
                widget(w);
        for (QButtonGroup* group : top->findChildren<QButtonGroup*>())
            sameCaptionSize(group);
    }

private:
    void widget(QWidget* w) {
        if (auto* label = qobject_cast<QLabel*>(w))
            this->label(label);
        else if (auto* picture = qobject_cast<PictureButton*>(w))
            face(picture);
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            this->button(button);
        else if (auto* group = qobject_cast<QGroupBox*>(w))
            title(group);
    }

    void offence(QWidget* w, const QString& text, const QString& why) {
        offences << QStringLiteral("%1/%2 \"%3\": %4")
                        .arg(m_top->objectName(),
                             w->objectName().isEmpty()
                                 ? QString::fromLatin1(w->metaObject()->className())
                                 : w->objectName(),
                             text, why);
    }

    /// The text must fit `area` (in w's coordinates) and w must lie inside its parent.
    void fits(QWidget* w, const QString& text, QSize need, const QRect& area) {
        if (need.width() > area.width() || need.height() > area.height())
            offence(w, text,
                    QStringLiteral("needs %1x%2, has %3x%4")
                        .arg(need.width())
                        .arg(need.height())
                        .arg(area.width())
                        .arg(area.height()));
        if (w->parentWidget() != nullptr && !w->isWindow() &&
            !w->parentWidget()->rect().contains(w->geometry()))
            offence(w, text, QStringLiteral("reaches outside its parent"));
    }

    /// A visible control of the same parent that lies over the text.
    void uncovered(QWidget* w, const QString& text, const QRect& textArea) {
        if (!w->isVisibleTo(m_top) || w->parentWidget() == nullptr)
            return;
        const QRect onParent = textArea.translated(w->pos());
        for (QObject* o : w->parentWidget()->children()) {
            auto* other = qobject_cast<QWidget*>(o);
            if (other == nullptr || other == w || other->isWindow() ||
                qobject_cast<QGroupBox*>(other) != nullptr || !other->isVisibleTo(m_top))
                continue;
            if (other->geometry().intersects(onParent))
                offence(w, text,
                        QStringLiteral("runs under %1")
                            .arg(other->objectName().isEmpty() ? other->metaObject()->className()
                                                               : other->objectName()));
        }
    }

    void label(QLabel* l) {
        const QString text = l->text();
        if (text.isEmpty() || !l->pixmap().isNull() || Qt::mightBeRichText(text))
            return;
        const int m = l->margin();
        const QRect area = l->contentsRect().adjusted(m, m, -m, -m);
        const QFontMetrics fm(l->font());
        QRect ink;
        if (l->wordWrap()) {
            ink = fm.boundingRect(area, static_cast<int>(l->alignment()) | Qt::TextWordWrap, text);
        } else {
            const QSize need(fm.horizontalAdvance(text), fm.height());
            ink = QStyle::alignedRect(l->layoutDirection(), l->alignment(), need, area);
        }
        fits(l, text, ink.size(), area);
        uncovered(l, text, ink.intersected(l->rect()));
    }

    void button(QAbstractButton* b) {
        const QString text = shown(b->text());
        if (text.isEmpty())
            return;
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        opt.rect = b->rect();
        QStyle::SubElement element = QStyle::SE_PushButtonContents;
        if (qobject_cast<QCheckBox*>(b) != nullptr)
            element = QStyle::SE_CheckBoxContents;
        else if (qobject_cast<QRadioButton*>(b) != nullptr)
            element = QStyle::SE_RadioButtonContents;
        const QRect area = b->style()->subElementRect(element, &opt, b);
        const QFontMetrics fm(b->font());
        const QSize need(fm.horizontalAdvance(text), fm.height());
        fits(b, text, need, area);
        uncovered(b, text, QStyle::alignedRect(b->layoutDirection(), Qt::AlignLeft, need, area));
    }

    /// The second pixel inside the bevel, left and right, holds nothing but the face: no
    /// caption is drawn against the button's edges.
    void clearOfEdges(PictureButton* b) {
        const QImage image = b->grab().toImage();
        const int r = qRound(image.devicePixelRatio()); // device pixels per logical pixel
        const QRgb face = image.pixel(2 * r, 2 * r);
        for (int y = 2 * r; y < image.height() - 2 * r; ++y)
            for (const int x : {2 * r, image.width() - 3 * r})
                for (int dx = 0; dx < r; ++dx)
                    if (image.pixel(x + dx, y) != face) {
                        offence(b, b->caption(), QStringLiteral("drawn against its edge"));
                        return;
                    }
    }

    void face(PictureButton* b) {
        clearOfEdges(b);
        const QList<PictureButton::FaceText> texts = b->faceTexts();
        for (int i = 0; i < texts.size(); ++i) {
            const PictureButton::FaceText& t = texts[i];
            const QFontMetrics fm(t.font);
            fits(b, t.text, {fm.horizontalAdvance(t.text), fm.tightBoundingRect(t.text).height()},
                 t.area);
            const int least = i == 0 ? MinCaptionPixels : MinSubCaptionPixels;
            if (t.font.pixelSize() < least)
                offence(b, t.text,
                        QStringLiteral("drawn %1 px high, less than %2 px")
                            .arg(t.font.pixelSize())
                            .arg(least));
        }
    }

    void title(QGroupBox* g) {
        if (g->title().isEmpty())
            return;
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.rect = g->rect();
        opt.textAlignment = g->alignment();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        opt.lineWidth = 1;
        const QRect label =
            g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        const QFontMetrics fm(g->font());
        const QString text = shown(g->title());
        const QSize need(fm.horizontalAdvance(text), fm.height());
        fits(g, text, need, label.intersected(g->rect()));
        const QRect ink = QStyle::alignedRect(g->layoutDirection(),
                                              Qt::AlignLeft | Qt::AlignVCenter, need, label);
        for (QWidget* child : g->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisibleTo(m_top) && child->geometry().intersects(ink))
                offence(g, text, QStringLiteral("title runs under %1").arg(child->objectName()));
    }

    /// Every page button of an exclusive group draws its caption at one size.
    void sameCaptionSize(QButtonGroup* group) {
        int size = 0;
        for (QAbstractButton* b : group->buttons()) {
            auto* picture = qobject_cast<PictureButton*>(b);
            if (picture == nullptr || picture->faceTexts().isEmpty())
                continue;
            const int here = picture->faceTexts().front().font.pixelSize();
            if (size != 0 && here != size)
                offence(b, picture->caption(),
                        QStringLiteral("caption at %1 px beside %2 px in its group")
                            .arg(here)
                            .arg(size));
            size = size == 0 ? here : size;
        }
    }

    QWidget* m_top = nullptr;
};

} // namespace

class CaptionsTest : public QObject {
    Q_OBJECT
private slots:
    void everyCaptionFits();
    void picturesAreDrawnForTheScreensPixels();
};

void CaptionsTest::everyCaptionFits() {
    Rig rig;
    TMainForm& f = *rig.form;
    if (!f.optionsShown())
        control<QAction>(f, "Options1").trigger();
    f.statusLine().setAudio(QStringLiteral("qt:default"));
    f.statusLine().setPort(QStringLiteral("recording port"));
    QApplication::processEvents();

    QList<QWidget*> windows{&f};
    for (const auto& [dialog, name] : namedDialogs(f.dialogs()))
        windows << dialog;
    Walker walker;
    for (QWidget* w : windows) {
        QVERIFY(w != nullptr);
        w->ensurePolished();
        // A dialog laid out by a layout places its controls when it is first shown.
        const bool laidOut = w->layout() != nullptr && !w->isVisible();
        if (laidOut) {
            w->show();
            QApplication::processEvents();
        }
        walker.window(w);
        if (laidOut)
            w->hide();
    }
    for (const QString& offence : walker.offences)
        qWarning("%s", qPrintable(offence));
    QCOMPARE(walker.offences.size(), 0);
}

void CaptionsTest::picturesAreDrawnForTheScreensPixels() {
    // The window keeps its size in logical pixels; its pictures have the screen's pixels.
    Rig rig;
    TMainForm& f = *rig.form;
    const qreal ratio = f.devicePixelRatioF();
    QCOMPARE(f.centralWidget()->size(), QSize(612, 434));
    const QPixmap face = control<PictureButton>(f, "FB4").grab();
    QCOMPARE(face.devicePixelRatio(), ratio);
    QCOMPARE(face.size(), QSize(25, 25) * ratio);
    const QPixmap logo = control<QLabel>(*f.dialogs().about, "Logo").pixmap();
    QCOMPARE(logo.devicePixelRatio(), ratio);
    QVERIFY2(logo.width() == qRound(98 * ratio) || logo.height() == qRound(88 * ratio),
             qPrintable(QStringLiteral("%1x%2").arg(logo.width()).arg(logo.height())));
}

TARVEX_GUI_TEST_MAIN(CaptionsTest)
#include "test_captions.moc"
