#include "app/station_busy.h"

#include "app/dialog_support.h"
#include "app/ui_font.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tarvex {

namespace {

QString explanation(const std::string& holder) {
    return QStringLiteral(
               "The station is held by %1.\n\nOnly one program keys the transmitter, so this "
               "window cannot send while that program runs. Pages can still be sent through it "
               "(for the Tarvex service: tarvex-cli, its web page or the network inputs).\n\n"
               "Stop that program (for the service: systemctl stop tarvexd) and this window "
               "opens the station by itself.")
        .arg(QString::fromStdString(holder));
}

} // namespace

bool waitForStation(StationHold& hold, const std::vector<std::string>& paths, std::string holder,
                    int retryMs) {
    QDialog window;
    window.setObjectName(QStringLiteral("StationBusy"));
    useWindowFont(window);
    window.setWindowTitle(QString::fromLatin1(ProgramTitle));
    auto* layout = new QVBoxLayout(&window);
    auto* text = new QLabel(explanation(holder), &window);
    text->setObjectName(QStringLiteral("StationBusyText"));
    text->setWordWrap(true);
    text->setMinimumWidth(420);
    layout->addWidget(text);
    auto* state = new QLabel(QStringLiteral("Waiting for the station..."), &window);
    layout->addWidget(state);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &window);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);

    QTimer retry;
    retry.setInterval(retryMs);
    QObject::connect(&retry, &QTimer::timeout, &window, [&] {
        std::string now;
        if (hold.acquire(paths, &now)) {
            window.accept();
            return;
        }
        if (now != holder) {
            holder = now;
            text->setText(explanation(holder));
        }
    });
    retry.start();
    return window.exec() == QDialog::Accepted;
}

} // namespace tarvex
