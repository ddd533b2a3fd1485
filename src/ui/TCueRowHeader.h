#pragma once

#include <QHeaderView>

// The row header of grSounds: a row per cue (22 pixels at the normal text size) showing its state
// picture and number, in bold, that drags rows to another place. UI thread only.
class TCueRowHeader : public QHeaderView {
    Q_OBJECT

public:
    explicit TCueRowHeader(QWidget* parent = nullptr);

    // As wide as the first and the last row need: the last number has the most digits. Qt would
    // measure up to 200 rows for it on every layout.
    QSize sizeHint() const override;
};
