#pragma once

#include <QWidget>

class QAction;
class QLabel;
class QToolButton;
class TCueList;
class TCueSequencer;

// Above the running cues: a large GO button that runs the very action Space runs, so the same
// lockout and the same held-key rule apply, the standby cue's number and description in large
// type, and the cue GO after it would stand by, in smaller type. The button never takes the
// keyboard focus, so Space keeps working in the grid. UI thread only.
class TGoArea : public QWidget {
    Q_OBJECT

public:
    // `go`, `cues` and `waits` outlive this object.
    TGoArea(QAction& go, const TCueList& cues, const TCueSequencer& waits,
            QWidget* parent = nullptr);

    // Reads the standby cue and the one after it again.
    void Refresh();
    QToolButton* GoButton() const { return FGo; }
    QString StandbyText() const;
    QString NextText() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void TakeFonts();

    const TCueList& FCues;
    const TCueSequencer& FWaits;
    QToolButton* FGo;
    QLabel* FStandby;
    QLabel* FNext;
};
