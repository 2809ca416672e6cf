#pragma once

// A whole-number spin box that accepts a typed value beyond its range and
// brings it to the nearer limit when the value is committed. Values are
// committed on Enter, on focus loss or by a step, never per keystroke.

#include <QSpinBox>

#include <optional>

class TClampSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    explicit TClampSpinBox(QWidget *AOwner = nullptr);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    StepEnabled stepEnabled() const override;

private:
    // The text without prefix, suffix and surrounding spaces.
    QStringView number(const QString &input) const;
    // The value a text outside the range stands for, held to the range;
    // nullopt when the text is no whole number.
    std::optional<int> clampedValue(const QString &input) const;
};
