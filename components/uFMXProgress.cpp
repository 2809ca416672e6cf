#include "components/uFMXProgress.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {

// The panel's insides, in device-independent units.
constexpr int Padding = 14;
constexpr int Gap = 12;        // between the text and the button
constexpr int BarHeight = 3;   // under the text
constexpr int TextWidth = 320; // room for a long file name before it is elided
constexpr qreal CornerRadius = 6;

} // namespace

TFMXProgress::TFMXProgress(QWidget *area, const QString &cancelText)
    : QWidget(area->window()), area(area), cancel(new QPushButton(cancelText, this))
{
    cancel->setObjectName(QStringLiteral("progressCancel"));
    connect(cancel, &QPushButton::clicked, this, &TFMXProgress::cancelled);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(Padding + TextWidth + Gap, Padding, Padding, Padding);
    layout->addWidget(cancel);
    hide();
    area->installEventFilter(this);
}

void TFMXProgress::showProgress(const QString &text, double done)
{
    line = text;
    share = std::clamp(done, 0.0, 1.0);
    if (isHidden()) {
        place();
        raise();
        show();
    }
    update();
}

void TFMXProgress::setColors(QColor background, QColor border, QColor ink, QColor accent)
{
    this->background = background;
    this->border = border;
    this->ink = ink;
    this->accent = accent;
    update();
}

QSize TFMXProgress::sizeHint() const
{
    const int inside =
        std::max(fontMetrics().height() + Gap / 2 + BarHeight, cancel->sizeHint().height());
    return {Padding + TextWidth + Gap + cancel->sizeHint().width() + Padding, 2 * Padding + inside};
}

// Centred over the area, no wider than it.
void TFMXProgress::place()
{
    const QSize hint = sizeHint();
    const QRect over(area->mapTo(window(), QPoint(0, 0)), area->size());
    const int width = std::min(hint.width(), over.width());
    setGeometry(over.x() + (over.width() - width) / 2,
                over.y() + (over.height() - hint.height()) / 2, width, hint.height());
}

void TFMXProgress::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(border, 1));
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), CornerRadius,
                            CornerRadius);

    const int textWidth = std::max(0, cancel->x() - Gap - Padding);
    const QFontMetrics metrics = fontMetrics();
    const int top = (height() - metrics.height() - Gap / 2 - BarHeight) / 2;
    painter.setPen(ink);
    painter.drawText(QRect(Padding, top, textWidth, metrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(line, Qt::ElideMiddle, textWidth));
    // The bar: its track in the border's colour, what is done in the accent.
    const QRectF track(Padding, top + metrics.height() + Gap / 2, textWidth, BarHeight);
    painter.setPen(Qt::NoPen);
    painter.setBrush(border);
    painter.drawRoundedRect(track, BarHeight / 2.0, BarHeight / 2.0);
    painter.setBrush(accent);
    painter.drawRoundedRect(QRectF(track.topLeft(), QSizeF(track.width() * share, BarHeight)),
                            BarHeight / 2.0, BarHeight / 2.0);
}

bool TFMXProgress::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == area && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        place();
    return QWidget::eventFilter(watched, event);
}
