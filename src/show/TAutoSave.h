#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

// Saves a while after a change: the first change after a save starts the wait, later ones ride
// along, so nothing stays unsaved for longer than the wait. UI thread only.
class TAutoSave : public QObject {
    Q_OBJECT

public:
    TAutoSave(std::function<void()> save, std::chrono::milliseconds wait,
              QObject* parent = nullptr);

    // Something that is saved has changed.
    void Changed();
    // Forgets the pending save; the caller saves itself.
    void Cancel();
    bool Pending() const { return FTimer.isActive(); }

private:
    std::function<void()> FSave;
    QTimer FTimer;
};
