#include "TAutoSave.h"

TAutoSave::TAutoSave(std::function<void()> save, std::chrono::milliseconds wait, QObject* parent)
    : QObject(parent), FSave(std::move(save)) {
    FTimer.setSingleShot(true);
    FTimer.setInterval(wait);
    connect(&FTimer, &QTimer::timeout, this, [this] { FSave(); });
}

void TAutoSave::Changed() {
    if (!FTimer.isActive())
        FTimer.start();
}

void TAutoSave::Cancel() {
    FTimer.stop();
}
