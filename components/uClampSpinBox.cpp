#include "components/uClampSpinBox.h"

#include <QRegularExpression>

#include <limits>

TClampSpinBox::TClampSpinBox(QWidget *AOwner) : QSpinBox(AOwner)
{
    setKeyboardTracking(false);
}

QStringView TClampSpinBox::number(const QString &input) const
{
    QStringView text(input);
    if (text.startsWith(prefix())) text = text.mid(prefix().size());
    if (text.endsWith(suffix())) text.chop(suffix().size());
    return text.trimmed();
}

std::optional<int> TClampSpinBox::clampedValue(const QString &input) const
{
    const QStringView text = number(input);
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    if (!wholeNumber.match(text).hasMatch()) return std::nullopt;
    bool ok = false;
    qlonglong value = text.toLongLong(&ok);
    // Digits beyond even 64 bits still say which limit is meant.
    if (!ok)
        value = text.startsWith(u'-') ? std::numeric_limits<qlonglong>::min()
                                      : std::numeric_limits<qlonglong>::max();
    return static_cast<int>(std::clamp<qlonglong>(value, minimum(), maximum()));
}

QValidator::State TClampSpinBox::validate(QString &input, int &pos) const
{
    const QValidator::State state = QSpinBox::validate(input, pos);
    // A sign alone is the start of a number that may lie beyond the range.
    static const QRegularExpression numberSoFar(QStringLiteral("^[+-]?[0-9]*$"));
    if (state == QValidator::Invalid && numberSoFar.match(number(input)).hasMatch())
        return QValidator::Intermediate;
    return state;
}

void TClampSpinBox::fixup(QString &input) const
{
    if (const std::optional<int> value = clampedValue(input))
        input = prefix() + textFromValue(*value) + suffix();
    else
        QSpinBox::fixup(input);
}

QAbstractSpinBox::StepEnabled TClampSpinBox::stepEnabled() const
{
    // A step commits typed text first, so with text pending either step is
    // allowed; the step itself stays within the range.
    if (!isReadOnly() && clampedValue(text()) && cleanText() != textFromValue(value()))
        return StepUpEnabled | StepDownEnabled;
    return QSpinBox::stepEnabled();
}
