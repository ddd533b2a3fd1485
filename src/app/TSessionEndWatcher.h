#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGHUP (log-off, shutdown) into a signal on the UI thread, so that
// the program can end the normal way. One per process.
class TSessionEndWatcher : public QObject {
    Q_OBJECT

public:
    explicit TSessionEndWatcher(QObject* parent = nullptr);
    ~TSessionEndWatcher() override;

Q_SIGNALS:
    void sessionEnding();

private:
    void ReadSignal();

    QSocketNotifier* FNotifier = nullptr;
};
