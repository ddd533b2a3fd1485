#pragma once

#include <QWidget>

#include <functional>
#include <map>

class QFrame;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The problems that arose while the show runs, one line each inside the window, so that
// nothing takes the keys from the operator: each stays until the operator closes it or its
// cause reports it gone. Keyed by kind: the same problem is shown once. Its buttons never take
// the keyboard focus. UI thread only.
class TMessageStrip : public QWidget {
    Q_OBJECT

public:
    explicit TMessageStrip(QWidget* parent = nullptr);

    // Shows `text` for `kind`, replacing what was shown for it; with `retry`, a Retry button
    // calls it.
    void Show(const QString& kind, const QString& text, std::function<void()> retry = {});
    void Remove(const QString& kind);
    // What is shown for `kind`; empty when nothing is.
    QString Text(const QString& kind) const;
    // The Retry button of `kind`'s line, if it has one.
    QPushButton* RetryButton(const QString& kind) const;
    QPushButton* CloseButton(const QString& kind) const;

private:
    struct TLine {
        QFrame* Frame = nullptr;
        QLabel* Label = nullptr;
        QPushButton* Retry = nullptr;
        QPushButton* Close = nullptr;
        std::function<void()> OnRetry;
    };
    TLine& LineOf(const QString& kind);
    QPushButton* AddButton(TLine& line, const QString& text);

    QVBoxLayout* FLayout;
    std::map<QString, TLine> FLines;
};
