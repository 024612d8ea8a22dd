// The window's network side: the pager directory's character sets for the operator's own
// pages, the network inputs (SNPP and WCTP servers when switched on, the DAPNET link) and the
// off-air monitor, started from the settings and restarted when their dialogs change them.
#include "app/dapnet_form.h"
#include "app/main_form.h"
#include "app/monitor_form.h"
#include "app/pagers_form.h"
#include "app/picture_button.h"
#include "app/status_line.h"
#include "encoder/conversions.h"
#include "host/station_host.h"
#include "monitor/offair_monitor.h"
#include "monitor/station_monitor.h"
#include "network/charset.h"
#include "network/dapnet/dapnet_input.h"
#include "network/inputs/network_inputs.h"
#include "network/pager_directory.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMetaObject>

#include <chrono>

namespace tarvex {

QString windowPageRule(const DapnetLinkStatus& status, int64_t nowMs) {
    // The engine keys the window's pages by the slots the link last had assigned: with none
    // assigned (never connected) every moment is allowed.
    const TimeSlots& allowed = status.allowedSlots;
    if (allowed.remainingMs(nowMs) == TimeSlots::Forever)
        return status.state == DapnetLinkState::Online
                   ? QStringLiteral("DAPNET has assigned no time slots yet: pages from this "
                                    "window go out at once")
                   : QStringLiteral("DAPNET link not connected: pages from this window go out "
                                    "at once");
    if (allowed.none())
        return QStringLiteral("DAPNET allows no time slot: pages from this window wait until "
                              "it assigns one");
    QStringList numbers;
    for (const QChar slot : QString::fromStdString(allowed.text()))
        numbers << slot;
    return QStringLiteral("Keying only in DAPNET slots %1: pages from this window wait for one")
        .arg(numbers.join(QStringLiteral(", ")));
}

void TMainForm::createNetwork() {
    connect(m_network, &NetworkInputs::statusChanged, this, [this] {
        const DapnetInput* dapnet = m_network->find<DapnetInput>();
        const std::optional<DapnetLinkStatus> link = dapnet ? dapnet->status() : std::nullopt;
        if (!link) {
            m_status->setStation({});
            return;
        }
        const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
        // Which rule holds a page sent from here comes first; the link's details follow.
        m_status->setStation(
            windowPageRule(*link, now) + QStringLiteral(" \u00b7 ") +
            QString::fromStdString(dapnetStatusLine(*link, m_network->feed()->waiting(), now)));
    });
    connect(m_monitor, &StationMonitor::report, this, [this](const QString& text, bool alarm) {
        if (alarm)
            m_status->setAlarm(text);
        else if (!m_monitor->monitor().alarmRaised())
            m_status->setAlarm({});
    });
    connect(Pagers1, &QAction::triggered, this, [this] {
        if (m_dialogs.pagers == nullptr)
            return;
        m_dialogs.pagers->setServers({NetworkChoice.snpp.enabled, NetworkChoice.snpp.port,
                                      NetworkChoice.wctp.enabled, NetworkChoice.wctp.port});
        showDialog(m_dialogs.pagers);
    });
    connect(Dapnet1, &QAction::triggered, this, [this] {
        if (m_dialogs.dapnet == nullptr)
            return;
        m_dialogs.dapnet->setSettings(NetworkChoice.dapnet);
        m_dialogs.dapnet->setLinkStatus(m_status->stationText());
        showDialog(m_dialogs.dapnet);
    });
    connect(Monitor1, &QAction::triggered, this, [this] {
        if (m_dialogs.monitor == nullptr)
            return;
        m_dialogs.monitor->setSettings(MonitorChoice);
        showDialog(m_dialogs.monitor);
    });
}

void TMainForm::connectNetworkDialogs() {
    if (m_dialogs.pagers != nullptr)
        connect(m_dialogs.pagers, &TPagersForm::serversChanged, this, [this] {
            const ServerChoice s = m_dialogs.pagers->servers();
            NetworkChoice.snpp.enabled = s.snpp;
            NetworkChoice.snpp.port = static_cast<uint16_t>(s.snppPort);
            NetworkChoice.wctp.enabled = s.wctp;
            NetworkChoice.wctp.port = static_cast<uint16_t>(s.wctpPort);
            startNetwork();
        });
    if (m_dialogs.dapnet != nullptr)
        connect(m_dialogs.dapnet, &TDapnetForm::settingsChanged, this, [this] {
            NetworkChoice.dapnet = m_dialogs.dapnet->settings();
            startNetwork();
        });
    if (m_dialogs.monitor != nullptr)
        connect(m_dialogs.monitor, &TMonitorForm::settingsChanged, this, [this] {
            MonitorChoice = m_dialogs.monitor->settings();
            startMonitor();
        });
}

void TMainForm::networkLog(const std::string& line) {
    // The servers' worker threads log too: the status line is written on the window's own.
    QMetaObject::invokeMethod(
        this, [this, text = QString::fromStdString(line)] { m_status->note(text); },
        Qt::QueuedConnection);
}

void TMainForm::startNetwork() {
    const NetworkSettings& net = NetworkChoice;
    // Pages a run with the servers on left in the queue still go out.
    const bool queued = QFile::exists(ProgramFolder + QString::fromLatin1(DurableQueueFile));
    if (!net.snpp.enabled && !net.wctp.enabled && !net.dapnet.enabled && !queued) {
        m_host->stopNetwork();
        m_status->setStation({});
        return;
    }
    std::string dapnetError;
    std::string error;
    const bool started = m_host->startNetwork(net, {}, &dapnetError, &error);
    if (!dapnetError.empty())
        m_status->setFailure(QStringLiteral("DAPNET: %1").arg(QString::fromStdString(dapnetError)));
    if (!started)
        m_status->setFailure(
            QStringLiteral("Network inputs: %1").arg(QString::fromStdString(error)));
    startMonitor();
}

void TMainForm::startMonitor() {
    m_host->startMonitor(MonitorChoice, NI2->isChecked());
}

void TMainForm::applyPagerCharset(PageJob& job) {
    // A RIC that is a pager of the directory gets its character set, as a network page to
    // it would; any other RIC keeps the plain 8-bit text.
    const auto ric = tryStrToInt(job.page.ric);
    if (!ric)
        return;
    const auto directory = m_network->pagers();
    const Pager* pager = directory->findByRic(static_cast<uint32_t>(*ric));
    if (pager == nullptr || pager->charset == Charset::UsAscii ||
        job.page.coding != Coding::Alphanumeric)
        return;
    const PagerText text = toPagerText(job.logMessage, pager->charset);
    job.page.message = text.bytes;
    job.charset = std::string(charsetCode(pager->charset));
    QString note = QStringLiteral("RIC %1 is pager %2%3: sent in the %4 character set")
                       .arg(QString::fromStdString(job.page.ric), QString::fromStdString(pager->id),
                            pager->name.empty()
                                ? QString()
                                : QStringLiteral(" (%1)").arg(QString::fromStdString(pager->name)),
                            QString::fromUtf8(charsetCaption(pager->charset).data()));
    if (!text.changes.empty())
        note += QStringLiteral("; changed: %1")
                    .arg(QString::fromStdString(describeChanges(text.changes)));
    m_status->note(note);
}

} // namespace tarvex
