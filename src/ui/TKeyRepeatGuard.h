#pragma once

#include <QObject>

class QKeyEvent;

// A held key repeats on X as a release and a press with the same server time. Qt tells such a
// pair by looking for the press behind the release; on a busy machine the press is not there
// yet, and the repeat comes as a new press that fires a shortcut again. This filter on the
// whole application drops such a press, so a held key fires once. Events without a time (sent
// by the program itself) pass. UI thread only.
class TKeyRepeatGuard : public QObject {
    Q_OBJECT

public:
    explicit TKeyRepeatGuard(QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsRepeatTakenForAPress(const QKeyEvent& key) const;

    int FReleasedKey = 0;
    quint32 FReleasedScanCode = 0;
    quint64 FReleasedAt = 0;
};
