// The four looks of TFMXFlatBtn. Every size is a fraction of the button's
// height or width, and the theme is read at every paint.

#include "components/uFMXFlatBtn.h"

#include "components/uFMXTheme.h"
#include "components/uSVGData.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr TAlphaColor nearBlack = 0xFF1B1B1B;
constexpr TAlphaColor white = 0xFFFFFFFF;
constexpr double brightnessThreshold = 127.5;
constexpr double maxCaptionOverrun = 1.25;
constexpr double pressedInsetRatio = 1.0 / 15;
constexpr double fontSizeRatio = 0.16;
constexpr double captionMarginX = 0.1;
constexpr double captionMarginY = 0.05;
constexpr double captionShift = 1.0 / 60;
constexpr double iconInset = fontSizeRatio * 1.5 + captionMarginY;
constexpr double pressedIconScale = 1.1;
constexpr double tileRadius = 4;
constexpr double hoverOpacity = 0.5;
constexpr double latchedBarRatio = 0.1;
constexpr TAlphaColor veilBlack = 0xFF000000;
constexpr double disabledOpacity = 0.1;
constexpr double iOSDisabledOpacity = 0.5;
constexpr double rainbowDim = 0.9;
constexpr std::array<TAlphaColor, 7> rainbowStripes = {
    0xFFFF0000, 0xFFFF6600, 0xFFFFFF00, 0xFF00FF00, 0xFF0000FF, 0xFF6666CC, 0xFFFF00FF,
};

QColor argb(TAlphaColor c)
{
    return QColor::fromRgba(c);
}

TAlphaColor themeBackground()
{
    return IsLightTheme ? 0xFFFBFBFB : 0xFF2D2D2D;
}

TAlphaColor themeForeground()
{
    return IsLightTheme ? nearBlack : white;
}

TAlphaColor brightnessForeground(TAlphaColor c)
{
    return ColorBrightness(c) < brightnessThreshold ? white : nearBlack;
}

TAlphaColor orAccent(TAlphaColor c)
{
    return qAlpha(c) != 0 ? c : SysAccentColor;
}

QRectF inset(const QRectF &r, double d)
{
    return r.adjusted(d, d, -d, -d);
}

void FillColorOrAccent(QPainter &Canvas, TAlphaColor c)
{
    Canvas.setBrush(argb(orAccent(c)));
}

void StrokeColorOrAccent(QPainter &Canvas, TAlphaColor c, double thickness)
{
    Canvas.setPen(QPen(argb(orAccent(c)), thickness, Qt::SolidLine, Qt::FlatCap));
}

// Fills with the current brush, square corners.
void FillRect(QPainter &Canvas, const QRectF &r, double opacity)
{
    Canvas.setOpacity(opacity);
    Canvas.fillRect(r, Canvas.brush());
    Canvas.setOpacity(1);
}

void RoundTileDraw(QPainter &Canvas, const QRectF &r, double opacity)
{
    Canvas.setPen(Qt::NoPen);
    Canvas.setOpacity(opacity);
    Canvas.drawRoundedRect(r, tileRadius, tileRadius);
    // The outline stays opaque, so a half-transparent tile keeps a crisp edge.
    Canvas.setOpacity(1);
    const QBrush fill = Canvas.brush();
    Canvas.setPen(QPen(fill.color(), 1));
    Canvas.setBrush(Qt::NoBrush);
    Canvas.drawRoundedRect(r, tileRadius, tileRadius);
    Canvas.setBrush(fill);
    Canvas.setPen(Qt::NoPen);
}

// The stripes run from the top left to the bottom right corner; the clip cuts
// them at the (possibly pressed-in) tile's edges. Square caps carry each stripe
// past its end points, so no notch is left where a stripe meets an edge.
void RainbowDraw(bool hovered, bool pressed, QPainter &Canvas, const QRectF &R)
{
    const double H = R.height();
    const double W = R.width();
    const double d = pressed ? H * pressedInsetRatio : 0;
    const double w = W - 2 * d;
    const double h = H - 2 * d;
    const double thickness = W > H ? 2 * H / (7 * std::sqrt(5.0)) : 2 * H / (7 * std::sqrt(2.0));
    Canvas.save();
    Canvas.translate(R.left() + d, R.top() + d);
    Canvas.setClipRect(QRectF(0, 0, w, h), Qt::IntersectClip);
    for (int k = 1; k <= 7; ++k) {
        const TAlphaColor c = rainbowStripes[k - 1];
        Canvas.setPen(QPen(argb(hovered ? ColorDim(c, rainbowDim) : c), thickness, Qt::SolidLine,
                           Qt::SquareCap));
        if (k <= 4)
            Canvas.drawLine(QPointF(0, (2 * k - 1) * h / 7), QPointF((2 * k - 1) * w / 7, 0));
        else
            Canvas.drawLine(QPointF((2 * k - 8) * w / 7, h), QPointF(w, (2 * k - 8) * h / 7));
    }
    Canvas.restore();
}

void DisabledVeilDraw(QPainter &Canvas, const QRectF &R, TAlphaColor c, double opacity)
{
    Canvas.setBrush(argb(c));
    FillRect(Canvas, R, opacity);
}

// Standard HSL, each component from 0 to 1.
struct Hsl
{
    double h, s, l;
};

Hsl toHsl(TAlphaColor c)
{
    const double r = qRed(c) / 255.0;
    const double g = qGreen(c) / 255.0;
    const double b = qBlue(c) / 255.0;
    const double mx = std::max({r, g, b});
    const double mn = std::min({r, g, b});
    const double l = (mx + mn) / 2;
    if (mx == mn) return {0, 0, l};
    const double delta = mx - mn;
    const double s = l <= 0.5 ? delta / (mx + mn) : delta / (2 - mx - mn);
    double h;
    if (mx == r)
        h = (g - b) / delta + (g < b ? 6 : 0);
    else if (mx == g)
        h = (b - r) / delta + 2;
    else
        h = (r - g) / delta + 4;
    return {h / 6, s, l};
}

double hueToChannel(double p, double q, double t)
{
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
}

int toByte(double v)
{
    return std::clamp(static_cast<int>(std::nearbyint(v)), 0, 255);
}

TAlphaColor fromHsl(const Hsl &c)
{
    const double q = c.l < 0.5 ? c.l * (1 + c.s) : c.l + c.s - c.l * c.s;
    const double p = 2 * c.l - q;
    return qRgba(toByte(255 * hueToChannel(p, q, c.h + 1.0 / 3)),
                 toByte(255 * hueToChannel(p, q, c.h)),
                 toByte(255 * hueToChannel(p, q, c.h - 1.0 / 3)), 255);
}

} // namespace

double ColorBrightness(TAlphaColor c)
{
    return 0.298912 * qRed(c) + 0.586611 * qGreen(c) + 0.114478 * qBlue(c);
}

TAlphaColor ColorForTheme(TAlphaColor c)
{
    Hsl hsl = toHsl(c);
    if (IsLightTheme && hsl.l > 0.4)
        hsl.l = 0.4;
    else if (!IsLightTheme && hsl.l < 0.6)
        hsl.l = 0.6;
    else
        return c;
    return fromHsl(hsl);
}

TAlphaColor ColorDim(TAlphaColor c, double f)
{
    return qRgba(toByte(qRed(c) * f), toByte(qGreen(c) * f), toByte(qBlue(c) * f), 255);
}

double TFMXFlatBtn::IconInset() const
{
    return MDown ? iconInset * pressedIconScale : iconInset;
}

// Its own flag only: a disabled parent does not veil the button.
bool TFMXFlatBtn::OwnEnabled() const
{
    return !testAttribute(Qt::WA_ForceDisabled);
}

// The tile's colour goes to the brush even without an icon: the caption reads it.
void TFMXFlatBtn::IconDraw(QPainter &Canvas, const QRectF &R, const TFace &face)
{
    Canvas.setBrush(argb(face.fore));
    if (face.icon.isEmpty()) return;
    const double i = IconInset();
    const double S = (1 - 2 * i) * R.height();
    FIcon.draw(Canvas, face.icon,
               QRectF(R.left() + (R.width() - S) / 2, R.top() + i * R.height(), S, S),
               Canvas.brush().color());
}

// The closing steps of every look: the caption, then the veil of a disabled button.
void TFMXFlatBtn::FinishDraw(QPainter &Canvas, const QRectF &R, bool captionShifted,
                             TAlphaColor veil, double veilOpacity)
{
    if (!FText.isEmpty()) CaptionDraw(Canvas, R, captionShifted);
    if (!OwnEnabled()) DisabledVeilDraw(Canvas, R, veil, veilOpacity);
}

QString TFMXFlatBtn::SwatchIcon() const
{
    return FisDown ? QString::fromLatin1(CheckMarkPath) : QString();
}

// The colour tile of a swatch (or the rainbow); returns the colour that reads on it.
TAlphaColor TFMXFlatBtn::SwatchTileDraw(QPainter &Canvas, const QRectF &R, TTileFill fill)
{
    if (FbgColor == FlatBtnRainbow) {
        RainbowDraw(FisEnter, MDown, Canvas, R);
        return white;
    }
    Canvas.setBrush(argb(FbgColor));
    fill(Canvas, inset(R, MDown ? R.height() * pressedInsetRatio : 0), 1);
    return brightnessForeground(FbgColor);
}

// Fluent and Win11: a swatch for a colour code; otherwise the theme's
// background, with the colour (or the accent) pressed in, or half transparent
// under the pointer, and the icon in iconFore.
TFMXFlatBtn::TFace TFMXFlatBtn::FaceTileDraw(QPainter &Canvas, const QRectF &R, TTileFill fill,
                                             bool pressedIn, TAlphaColor iconFore)
{
    if (TextIsColorCode()) return {SwatchTileDraw(Canvas, R, fill), SwatchIcon()};
    Canvas.setBrush(argb(themeBackground()));
    fill(Canvas, R, 1);
    FillColorOrAccent(Canvas, FbgColor);
    if (pressedIn)
        fill(Canvas, inset(R, R.height() * pressedInsetRatio), 1);
    else if (FisEnter)
        fill(Canvas, R, hoverOpacity);
    return {iconFore, FSVGData};
}

void TFMXFlatBtn::CaptionDraw(QPainter &Canvas, const QRectF &R, bool shifted)
{
    const double W = R.width();
    const double H = R.height();
    QFont font = Canvas.font();
    font.setFamily(QStringLiteral("Segoe UI"));
    // The size is in device-independent pixels, as the rest of the drawing.
    font.setPointSizeF(fontSizeRatio * H * 72.0 / Canvas.device()->logicalDpiY());
    Canvas.setFont(font);
    const double sx = shifted ? captionShift * W : 0;
    const double sy = shifted ? captionShift * H : 0;
    const QRectF box(
        QPointF(R.left() + captionMarginX * W + sx, R.top() + captionMarginY * H + sy),
        QPointF(R.left() + (1 - captionMarginX) * W - sx, R.top() + (1 - captionMarginY) * H - sy));
    // Where Segoe UI is missing, its substitute can run a caption that fits one
    // line on Windows slightly past the box; shrink it a little rather than
    // wrap it apart over the icon.
    const double natural = QFontMetricsF(font).horizontalAdvance(FText);
    if (natural > box.width() && natural <= box.width() * maxCaptionOverrun) {
        font.setPointSizeF(font.pointSizeF() * box.width() / natural * 0.98);
        Canvas.setFont(font);
    }
    Canvas.setPen(Canvas.brush().color());
    Canvas.drawText(box, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, FText);
    Canvas.setPen(Qt::NoPen);
}

void TFMXFlatBtn::MetroPaint(QPainter &Canvas, const QRectF &R)
{
    const TAlphaColor fore = SwatchTileDraw(Canvas, R, FillRect);
    IconDraw(Canvas, R, {fore, TextIsColorCode() ? SwatchIcon() : FSVGData});
    FinishDraw(Canvas, R, MDown, veilBlack, disabledOpacity);
}

void TFMXFlatBtn::FluentPaint(QPainter &Canvas, const QRectF &R)
{
    const TAlphaColor plain =
        qAlpha(FbgColor) != 0 && !FisEnter ? ColorForTheme(FbgColor) : themeForeground();
    IconDraw(Canvas, R, FaceTileDraw(Canvas, R, FillRect, MDown, plain));
    if (FisDown) {
        // Centred on the bottom edge, so the button's bounds cut its lower half.
        StrokeColorOrAccent(Canvas, FbgColor, latchedBarRatio * R.height());
        Canvas.drawLine(R.bottomLeft(), R.bottomRight());
        Canvas.setPen(Qt::NoPen);
    }
    FinishDraw(Canvas, R, MDown, veilBlack, disabledOpacity);
}

void TFMXFlatBtn::Win11Paint(QPainter &Canvas, const QRectF &R)
{
    const bool pressedIn = MDown || FisDown;
    IconDraw(Canvas, R, FaceTileDraw(Canvas, R, RoundTileDraw, pressedIn, themeForeground()));
    FinishDraw(Canvas, R, pressedIn, veilBlack, disabledOpacity);
}

void TFMXFlatBtn::iOSPaint(QPainter &Canvas, const QRectF &R)
{
    const double H = R.height();
    // Hovering a latched toggle takes its highlight away.
    const bool highlighted = MDown || (FisToggle ? FisDown != FisEnter : FisDown || FisEnter);
    Canvas.setBrush(argb(themeBackground()));
    FillRect(Canvas, inset(R, MDown ? H * pressedInsetRatio : 0), 1);
    if (FColorDot) {
        const double shift = MDown ? 2 : 0;
        Canvas.setPen(Qt::NoPen);
        Canvas.setBrush(argb(FbgColor));
        Canvas.drawEllipse(QRectF(QPointF(0.1 * H + shift, 0.1 * H + shift),
                                  QPointF(0.2 * H + shift, 0.2 * H + shift)));
    }
    IconDraw(Canvas, R, {highlighted ? FbgColor : themeForeground(), FSVGData});
    // R is the whole button, as the veil of this look wants.
    FinishDraw(Canvas, R, MDown, FbgColor, iOSDisabledOpacity);
}
