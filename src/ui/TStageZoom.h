#pragma once

#include <QFont>
#include <QObject>

#include <functional>

class QAction;
class QMenu;
class QWidget;

// Sizes for the stage: Ctrl+Plus, Ctrl+Minus and Ctrl+0 make the text of the grid and of the
// running cues larger, smaller and normal again, in steps. One scale, in percent of the desktop's
// text size, for every view that shows the show: each reads Scale or ScaledFont and follows
// ScaleChanged. A held key takes one step. UI thread only.
class TStageZoom : public QObject {
    Q_OBJECT

public:
    static constexpr int NormalScale = 100;
    static constexpr int MinScale = 50;
    static constexpr int MaxScale = 300;

    // The keys act in `window`, except while `busy` says that an editor is open.
    TStageZoom(QWidget& window, std::function<bool()> busy);

    QAction* actLarger = nullptr;
    QAction* actSmaller = nullptr;
    QAction* actNormal = nullptr;

    int Scale() const { return FScale; }
    // Sets the scale, kept within MinScale and MaxScale; ScaleChanged tells a change.
    void SetScale(int percent);
    // `base` at the scale.
    QFont ScaledFont(const QFont& base) const { return ScaledFont(base, FScale); }
    static QFont ScaledFont(const QFont& base, int percent);
    // A length of the normal size, `pixels`, at the scale.
    int Scaled(int pixels) const;

    void AddTo(QMenu& menu);

Q_SIGNALS:
    void ScaleChanged(int percent);

private:
    QAction* CreateAction(QWidget& window, const QString& caption, const QList<QKeySequence>& keys,
                          std::function<int(int)> step);
    static int Larger(int percent);
    static int Smaller(int percent);

    std::function<bool()> FBusy;
    int FScale = NormalScale;
};
