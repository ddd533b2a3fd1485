#pragma once

#include <QSpinBox>

// The grid's integer editor: accepts any decimal integer while typing (digits and one leading
// minus sign) and brings it into its bounds, so typing 200 into a 75 to 125 editor gives 125.
class TCueSpinBox : public QSpinBox {
    Q_OBJECT

public:
    explicit TCueSpinBox(QWidget* parent = nullptr);

protected:
    QValidator::State validate(QString& text, int& pos) const override;
    int valueFromText(const QString& text) const override;
};
