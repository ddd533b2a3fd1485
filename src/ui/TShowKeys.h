#pragma once

#include <QObject>

#include <functional>

class QAction;
class QKeySequence;
class QWidget;
class TMainActions;

// Running a show from the keyboard: GO on Space, panic on Escape, and keys for the commands
// operators reach for most, each named in its toolbar button's tooltip. The keys act anywhere
// in the window but give way to a cell being edited: there Space types a space and Escape
// cancels the edit. A disabled command's key does nothing, so a letter key of a command that
// needs a playing cue still starts editing a stopped cue's cell. UI thread only.
class TShowKeys : public QObject {
    Q_OBJECT

public:
    TShowKeys(QWidget& window, TMainActions& actions, std::function<void()> go,
              std::function<void()> panic);

    QAction* actGo = nullptr;
    QAction* actPanic = nullptr;

private:
    QAction* CreateAction(QWidget& window, const char* caption, std::function<void()> handler);
    static void Bind(QAction* action, const QKeySequence& key);
    static void NameKey(QAction* action, const QKeySequence& key);
};
