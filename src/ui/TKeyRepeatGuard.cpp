#include "TKeyRepeatGuard.h"

#include <QCoreApplication>
#include <QKeyEvent>

TKeyRepeatGuard::TKeyRepeatGuard(QObject* parent) : QObject(parent) {
    QCoreApplication::instance()->installEventFilter(this);
}

bool TKeyRepeatGuard::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyRelease: {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (!key.isAutoRepeat()) {
            FReleasedKey = key.key();
            FReleasedScanCode = key.nativeScanCode();
            FReleasedAt = key.timestamp();
        }
        return false;
    }
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
        // An accepted override keeps the shortcut from firing; the press itself goes nowhere.
        if (IsRepeatTakenForAPress(static_cast<const QKeyEvent&>(*event))) {
            event->accept();
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool TKeyRepeatGuard::IsRepeatTakenForAPress(const QKeyEvent& key) const {
    return !key.isAutoRepeat() && key.timestamp() != 0 && key.timestamp() == FReleasedAt &&
           key.key() == FReleasedKey && key.nativeScanCode() == FReleasedScanCode;
}
