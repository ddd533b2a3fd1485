#pragma once

#include <QWidget>

#include <functional>
#include <map>
#include <vector>

class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The problems that arose while the show runs, one line each inside the window, so that
// nothing takes the keys from the operator, and on standard error: each stays until the
// operator closes it or its cause reports it gone. Keyed by kind: the same problem is shown
// once. Its buttons never take the keyboard focus. UI thread only.
class TMessageStrip : public QWidget {
    Q_OBJECT

public:
    // A button of a line, before its close button.
    struct TAction {
        QString Label;
        std::function<void()> Run;
    };

    explicit TMessageStrip(QWidget* parent = nullptr);

    // Shows `text` (CR LF line breaks allowed) for `kind` with these buttons, replacing what was
    // shown for it; a new text also goes to standard error.
    void Show(const QString& kind, const QString& text, const std::vector<TAction>& actions = {});
    // The problem of `kind` is gone.
    void Remove(const QString& kind);
    // What is shown for `kind`; empty when nothing is.
    QString Text(const QString& kind) const;
    // The button of `kind`'s line with that label ("Close" for its close button), if any.
    QPushButton* Button(const QString& kind, const QString& label) const;

private:
    struct TLine {
        QFrame* Frame = nullptr;
        QLabel* Label = nullptr;
        QHBoxLayout* Row = nullptr;
        std::vector<QPushButton*> Buttons;
    };
    TLine& LineOf(const QString& kind);
    void Dismiss(const QString& kind);
    QPushButton* AddButton(TLine& line, const QString& label, std::function<void()> run);

    QVBoxLayout* FLayout;
    std::map<QString, TLine> FLines;
};
