#include "components/uClampSpinBox.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

TClampSpinBox::TClampSpinBox(QWidget *AOwner) : QSpinBox(AOwner)
{
    setKeyboardTracking(false);
}

void TClampSpinBox::setDegrees(Degrees degreesAxis, CellOf degreesToCell)
{
    axis = degreesAxis;
    cellOf = std::move(degreesToCell);
}

std::optional<double> TClampSpinBox::degrees(const QString &input) const
{
    if (!cellOf) return std::nullopt;
    static const QRegularExpression inDegrees(
        QStringLiteral("^([+-]?[0-9]+(?:\\.[0-9]*)?)\\s*([°NSEW])$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = inDegrees.match(number(input));
    if (!m.hasMatch()) return std::nullopt;
    const QChar mark = m.captured(2).at(0).toUpper();
    const bool across = mark == u'E' || mark == u'W', down = mark == u'N' || mark == u'S';
    if ((across && axis != Degrees::Across) || (down && axis != Degrees::Down)) return std::nullopt;
    const double value = m.captured(1).toDouble();
    return mark == u'W' || mark == u'S' ? -value : value;
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
    // A sign alone is the start of a number that may lie beyond the range;
    // decimals are the start of degrees where the box takes them.
    static const QRegularExpression numberSoFar(QStringLiteral("^[+-]?[0-9]*$"));
    static const QRegularExpression degreesSoFar(
        QStringLiteral("^[+-]?[0-9]*(\\.[0-9]*)?\\s*[°NSEW]?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (state != QValidator::Invalid) return state;
    if (numberSoFar.match(number(input)).hasMatch() ||
        (cellOf && degreesSoFar.match(number(input)).hasMatch()))
        return QValidator::Intermediate;
    return state;
}

void TClampSpinBox::fixup(QString &input) const
{
    std::optional<int> value = clampedValue(input);
    if (const std::optional<double> d = degrees(input); d && !value)
        if (const std::optional<int> cell = cellOf(*d))
            value = std::clamp(*cell, minimum(), maximum());
    if (value)
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
