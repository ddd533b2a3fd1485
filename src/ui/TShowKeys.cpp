#include "TShowKeys.h"

#include "TKeyRepeatGuard.h"
#include "TMainActions.h"

#include <QAction>
#include <QKeySequence>
#include <QWidget>

TShowKeys::TShowKeys(QWidget& window, TMainActions& actions, std::function<void()> go,
                     std::function<void()> panic)
    : QObject(&window) {
    new TKeyRepeatGuard(this);
    actGo = CreateAction(window, "GO", std::move(go));
    actPanic = CreateAction(window, "Panic", std::move(panic));
    Bind(actGo, QKeySequence(Qt::Key_Space));
    Bind(actPanic, QKeySequence(Qt::Key_Escape));
    Bind(actions.actPause, QKeySequence(Qt::Key_P));
    Bind(actions.actStop, QKeySequence(Qt::Key_S));
    Bind(actions.actInsertCue, QKeySequence(Qt::Key_Insert));
    Bind(actions.actHelp, QKeySequence(QKeySequence::HelpContents));
    // The grid takes the Delete key itself, and only while no cell is being edited.
    NameKey(actions.actDeleteCue, QKeySequence(QKeySequence::Delete));
}

QAction* TShowKeys::CreateAction(QWidget& window, const char* caption,
                                 std::function<void()> handler) {
    auto* action = new QAction(QLatin1String(caption), &window);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    window.addAction(action);
    return action;
}

// A held key fires once: its repeats would be further GOs, panics or stops.
void TShowKeys::Bind(QAction* action, const QKeySequence& key) {
    action->setShortcut(key);
    action->setAutoRepeat(false);
    action->setShortcutContext(Qt::WindowShortcut);
    NameKey(action, key);
}

// The key goes into the tooltip as the desktop writes it, "Pause (P)".
void TShowKeys::NameKey(QAction* action, const QKeySequence& key) {
    action->setToolTip(action->text() + QStringLiteral(" (") +
                       key.toString(QKeySequence::NativeText) + QLatin1Char(')'));
}
