#pragma once
// One running copy per user and program title. The first copy listens on a local socket in
// the user's runtime folder; a later copy of the same title hands over to it (asks it to
// bring its active window forward) and ends without showing anything.
#include <QObject>
#include <QString>

class QLocalServer;

namespace tarvex {

class SingleInstanceGuard : public QObject {
    Q_OBJECT
public:
    /// The program's title for an executable path: the file name without folder, cut at
    /// its first dot, every character after the first in lower case ("TarVex.bin" gives
    /// "Tarvex"). A renamed copy therefore has another title.
    static QString titleFor(const QString& executablePath);

    explicit SingleInstanceGuard(const QString& title, QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    /// Looks for a running copy. If one answers, it has been asked to come forward and the
    /// result is true: this copy should exit. Otherwise this copy starts listening for later
    /// copies and the result is false.
    bool handOver();

    QString title() const { return m_title; }
    /// The socket path, unique per user and title.
    QString serverName() const { return m_serverName; }
    bool listening() const;

signals:
    /// A later copy asked this one to bring its active window forward.
    void activationRequested();

private:
    bool askRunningCopy();
    bool startListening();
    void answer();

    QString m_title;
    QString m_serverName;
    QLocalServer* m_server = nullptr;
};

} // namespace tarvex
