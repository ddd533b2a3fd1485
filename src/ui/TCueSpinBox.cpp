#include "TCueSpinBox.h"

#include <QRegularExpression>

#include <algorithm>

TCueSpinBox::TCueSpinBox(QWidget* parent) : QSpinBox(parent) {
    setFrame(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

QValidator::State TCueSpinBox::validate(QString& text, int&) const {
    static const QRegularExpression integerText(QStringLiteral("^-?[0-9]*$"));
    if (!integerText.match(text).hasMatch())
        return QValidator::Invalid;
    if (text.isEmpty() || text == QLatin1String("-"))
        return QValidator::Intermediate;
    return QValidator::Acceptable;
}

int TCueSpinBox::valueFromText(const QString& text) const {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok)
        return text.startsWith(QLatin1Char('-')) ? minimum() : maximum();
    return static_cast<int>(std::clamp<qlonglong>(value, minimum(), maximum()));
}
