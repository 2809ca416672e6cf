#include "components/uFMXNote.h"

#include "components/uFMXTheme.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// The panel's insides, in device-independent units.
constexpr int PaddingLeft = 18; // room for the accent bar
constexpr int PaddingRight = 14;
constexpr int PaddingVertical = 9;
constexpr int BarLeft = 7;
constexpr int BarWidth = 3;
constexpr qreal CornerRadius = 6;
constexpr int AreaMargin = 12; // from the area's bottom and sides

} // namespace

TFMXNote::TFMXNote(QWidget *area) : QWidget(area)
{
    // Presses and drags belong to the area underneath; keys stay where they are.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    hold.setSingleShot(true);
    hold.setInterval(DefaultDuration);
    fade.setStartValue(1.0);
    fade.setEndValue(0.0);
    fade.setDuration(FadeDuration);
    connect(&hold, &QTimer::timeout, this, [this] { fade.start(); });
    connect(&fade, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        opacity = value.toReal();
        update();
    });
    connect(&fade, &QVariantAnimation::finished, this, &QWidget::hide);
    if (area) area->installEventFilter(this);
    ThemeUpdate();
}

void TFMXNote::showMessage(const QString &text)
{
    hold.stop();
    fade.stop();
    opacity = 1;
    lines = text.split(u'\n');
    updateGeometry();
    place();
    raise();
    show();
    update();
    hold.start();
}

void TFMXNote::dismiss()
{
    hold.stop();
    fade.stop();
    hide();
}

void TFMXNote::ThemeUpdate()
{
    // The colours of the style sheets' pop-ups, and the desktop's accent.
    background = IsLightTheme ? QColor(0xF9F9F9) : QColor(0x2C2C2C);
    border = IsLightTheme ? QColor(0xE0E0E0) : QColor(0x3A3A3A);
    ink = IsLightTheme ? QColor(0x1A1A1A) : QColor(0xFFFFFF);
    accent = QColor::fromRgba(SysAccentColor ? SysAccentColor : DefaultAccentColor);
    update();
}

// The widest line and every line's height inside the padding.
QSize TFMXNote::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    // Whole pixels would round some lines down, and the painter would elide them.
    const QFontMetricsF exact(font());
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, int(std::ceil(exact.horizontalAdvance(line))));
    const int count = std::max<int>(1, int(lines.size()));
    return {PaddingLeft + width + PaddingRight,
            2 * PaddingVertical + count * metrics.height() + (count - 1) * metrics.leading()};
}

// Narrower, the lines are elided down to a few letters; lower, they would be cut.
QSize TFMXNote::minimumSizeHint() const
{
    const QSize hint = sizeHint();
    const int fewLetters = PaddingLeft + fontMetrics().averageCharWidth() * 4 + PaddingRight;
    return {std::min(hint.width(), fewLetters), hint.height()};
}

// Centred near the area's bottom, no wider than the area allows.
void TFMXNote::place()
{
    const QWidget *area = parentWidget();
    if (!area) return;
    const QSize hint = sizeHint();
    const int width =
        std::clamp(area->width() - 2 * AreaMargin, minimumSizeHint().width(), hint.width());
    setGeometry((area->width() - width) / 2, area->height() - hint.height() - AreaMargin, width,
                hint.height());
}

void TFMXNote::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity);
    const QRectF panel = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(border, 1));
    painter.setBrush(background);
    painter.drawRoundedRect(panel, CornerRadius, CornerRadius);

    painter.setPen(Qt::NoPen);
    painter.setBrush(accent);
    const QRectF bar(BarLeft, PaddingVertical, BarWidth, height() - 2 * PaddingVertical);
    painter.drawRoundedRect(bar, BarWidth / 2.0, BarWidth / 2.0);

    painter.setPen(ink);
    const QFontMetrics metrics = fontMetrics();
    const int textWidth = width() - PaddingLeft - PaddingRight;
    int y = PaddingVertical;
    for (const QString &line : lines) {
        painter.drawText(QRect(PaddingLeft, y, textWidth, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(line, Qt::ElideRight, textWidth));
        y += metrics.height() + metrics.leading();
    }
}

bool TFMXNote::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) place();
    return QWidget::eventFilter(watched, event);
}

void TFMXNote::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        place();
    }
}
