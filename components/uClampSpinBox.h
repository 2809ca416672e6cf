#pragma once

// A whole-number spin box that accepts a typed value beyond its range and
// brings it to the nearer limit when the value is committed. Values are
// committed on Enter, on focus loss or by a step, never per keystroke.

#include <QSpinBox>

#include <functional>
#include <optional>

class TClampSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    explicit TClampSpinBox(QWidget *AOwner = nullptr);

    // A value typed in degrees: "11.5°", or with the hemisphere, "11.5E" or
    // "11.5W" across, "57.3N" or "57.3S" down (west and south negative),
    // becomes the value cellOf gives for it; nullopt from it refuses the text.
    enum class Degrees
    {
        Across,
        Down
    };
    using CellOf = std::function<std::optional<int>(double degrees)>;
    // Without cellOf, only whole numbers are taken.
    void setDegrees(Degrees axis, CellOf cellOf);

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
    // The degrees a text stands for, signed by its hemisphere; nullopt
    // when it is no value in degrees on this box's axis.
    std::optional<double> degrees(const QString &input) const;

    Degrees axis = Degrees::Across;
    CellOf cellOf;
};
