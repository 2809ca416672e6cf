#include "components/uFMXFlatBtn.h"

#include "components/uFMXTheme.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <chrono>

namespace {

constexpr int buttonHeight = 60;
constexpr int wideExtraWidth = 10;
constexpr int padding = 5;
constexpr uint32_t longPressMs = 2000;

uint32_t steadyTickCount()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    // Cut to 32 bits on purpose: the press duration is measured modulo 2^32.
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

} // namespace

std::function<uint32_t()> flatBtnTickCount = steadyTickCount;

TAlphaColor ColorFromText(const QString &s)
{
    if ((s.size() != 7 && s.size() != 9) || !s.startsWith(u'#')) return FlatBtnNoColor;
    const QStringView digits = QStringView(s).mid(1);
    if (!std::all_of(digits.begin(), digits.end(), isHexDigit)) return FlatBtnNoColor;
    const TAlphaColor bits = digits.toUInt(nullptr, 16);
    return digits.size() == 6 ? 0xFF000000 | bits : bits;
}

TFMXFlatBtn::TFMXFlatBtn(QWidget *AOwner) : QWidget(AOwner)
{
    setContentsMargins(padding, padding, padding, padding);
    // The look alone decides the size, in a layout too.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    FlatBtnTypeApply(mtMetroSingle);
    setCursor(Qt::PointingHandCursor);
    // Tab, Enter and Space reach it like any button.
    setFocusPolicy(Qt::StrongFocus);
}

TFMXFlatBtn::TFMXFlatBtn(QWidget *AOwner, QWidget *AParent, TFMXFlatBtnType AFlatBtnType,
                         const QString &ASVGData, const QString &AText, TAlphaColor AColor,
                         float AX, float AY, TNotifyEvent AExecuteL, TNotifyEvent AExecuteR,
                         bool AisDown, bool AisToggle)
    : QWidget(AOwner)
{
    setContentsMargins(padding, padding, padding, padding);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    // Tab, Enter and Space reach it like any button.
    setFocusPolicy(Qt::StrongFocus);
    // Without a parent the owner keeps the button, so it is not leaked.
    if (AParent) {
        setParent(AParent);
        setVisible(true); // reparenting hides a widget; a placed button is shown
    }
    FlatBtnTypeApply(AFlatBtnType);
    FSVGData = ASVGData;
    setText(AText);
    FbgColor = AColor; // wins over a colour code in AText; the dot stays
    move(qRound(AX), qRound(AY));
    FOnExecuteL = std::move(AExecuteL);
    FOnExecuteR = std::move(AExecuteR);
    FisDown = AisDown;
    FisToggle = AisToggle;
}

void TFMXFlatBtn::FlatBtnTypeApply(TFMXFlatBtnType t)
{
    FFlatBtnType = t;
    FPaint = nullptr;
    switch (t) {
    case mtMetroSingle:
    case mtMetroDouble:
        FbgColor = FlatBtnBlue;
        FPaint = &TFMXFlatBtn::MetroPaint;
        break;
    case mtFluentSingle:
    case mtFluentDouble:
        FbgColor = 0x00000000;
        FPaint = &TFMXFlatBtn::FluentPaint;
        break;
    case mtWin11Single:
    case mtWin11Double:
        FbgColor = FlatBtnBlue;
        FPaint = &TFMXFlatBtn::Win11Paint;
        break;
    case mtiOSSingle:
    case mtiOSDouble:
        FbgColor = FlatBtnSkyBlue;
        FPaint = &TFMXFlatBtn::iOSPaint;
        break;
    }
    resize(sizeHint());
    updateGeometry();
    update();
}

QSize TFMXFlatBtn::sizeHint() const
{
    const bool wide = FFlatBtnType % 2 == 1;
    return {wide ? 2 * buttonHeight + wideExtraWidth : buttonHeight, buttonHeight};
}

void TFMXFlatBtn::setFlatBtnType(TFMXFlatBtnType value)
{
    if (value != FFlatBtnType) FlatBtnTypeApply(value);
}

void TFMXFlatBtn::setColor(TAlphaColor value)
{
    FbgColor = value;
}

void TFMXFlatBtn::setSVGData(const QString &value)
{
    if (value == FSVGData) return;
    FSVGData = value;
    FIcon.clear();
    update();
}

void TFMXFlatBtn::setText(const QString &value)
{
    if (value == FText) return;
    FText = value;
    const TAlphaColor c = ColorFromText(FText);
    FColorDot = c != FlatBtnNoColor;
    if (FColorDot) FbgColor = c;
}

void TFMXFlatBtn::setIsDown(bool value)
{
    if (value == FisDown) return;
    FisDown = value;
    update();
}

void TFMXFlatBtn::setIsToggle(bool value)
{
    FisToggle = value;
}

void TFMXFlatBtn::setIsColorDot(bool value)
{
    FColorDot = value;
}

void TFMXFlatBtn::setOnExecute(TNotifyEvent value)
{
    FOnExecuteL = std::move(value);
}

void TFMXFlatBtn::setOnExecuteL(TNotifyEvent value)
{
    FOnExecuteL = std::move(value);
}

void TFMXFlatBtn::setOnExecuteR(TNotifyEvent value)
{
    FOnExecuteR = std::move(value);
}

bool TFMXFlatBtn::TextIsColorCode() const
{
    return FText.startsWith(u'#');
}

void TFMXFlatBtn::paintEvent(QPaintEvent *)
{
    if (!FPaint) return;
    QPainter canvas(this);
    canvas.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                          QPainter::SmoothPixmapTransform);
    (this->*FPaint)(canvas, QRectF(rect()));
    if (hasFocus() && FFocusRing) FocusRingDraw(canvas, QRectF(rect()));
}

// A ring of the look's text colour just inside the tile, as the desktop draws
// keyboard focus.
void TFMXFlatBtn::FocusRingDraw(QPainter &Canvas, const QRectF &R)
{
    Canvas.setBrush(Qt::NoBrush);
    Canvas.setPen(QPen(QColor::fromRgba(IsLightTheme ? 0xFF000000u : 0xFFFFFFFFu), 2));
    Canvas.drawRoundedRect(R.adjusted(1, 1, -1, -1), 4, 4);
}

void TFMXFlatBtn::focusInEvent(QFocusEvent *event)
{
    // A click needs no ring; a window coming back keeps the ring it had.
    if (event->reason() == Qt::MouseFocusReason)
        FFocusRing = false;
    else if (event->reason() != Qt::ActiveWindowFocusReason &&
             event->reason() != Qt::PopupFocusReason)
        FFocusRing = true;
    QWidget::focusInEvent(event);
    update();
}

void TFMXFlatBtn::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

// Enter and Space act as a click with the primary button.
void TFMXFlatBtn::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if ((key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space) ||
        event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    FFocusRing = true;
    if (event->isAutoRepeat()) return;
    if (FisToggle) FisDown = !FisDown;
    update();
    if (FOnExecuteL) FOnExecuteL(this);
}

void TFMXFlatBtn::mousePressEvent(QMouseEvent *)
{
    BtnMouseDown();
}

void TFMXFlatBtn::mouseReleaseEvent(QMouseEvent *event)
{
    BtnMouseUp(this, event->button(), event->position().x(), event->position().y());
}

void TFMXFlatBtn::enterEvent(QEnterEvent *)
{
    BtnMouseEnter();
}

void TFMXFlatBtn::leaveEvent(QEvent *)
{
    BtnMouseLeave();
}

void TFMXFlatBtn::BtnMouseDown()
{
    FTime = flatBtnTickCount();
    MDown = true;
    update();
}

void TFMXFlatBtn::BtnMouseEnter()
{
    FisEnter = true;
    update();
}

void TFMXFlatBtn::BtnMouseLeave()
{
    FisEnter = false;
    update();
}

void TFMXFlatBtn::BtnMouseUp(QObject *Sender, Qt::MouseButton Button, qreal X, qreal Y)
{
    MDown = false;
    if (X >= 0 && X < width() && Y >= 0 && Y < height()) {
        if (FisToggle) FisDown = !FisDown;
        // Unsigned subtraction keeps the duration right across a wrap of the tick.
        const bool longPress = flatBtnTickCount() - FTime >= longPressMs;
        if (FOnExecuteR && (Button == Qt::RightButton || longPress))
            FOnExecuteR(Sender);
        else if (FOnExecuteL && Button == Qt::LeftButton)
            FOnExecuteL(Sender);
    }
    update();
}
