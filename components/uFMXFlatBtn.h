#pragma once

// The program's own icon button: a flat tile with a vector icon and an
// optional caption, in four looks, with a primary and a secondary action.

#include "components/uSVGPath.h"
#include "elevation/uBILTypes.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QPainter;

using TNotifyEvent = std::function<void(QObject *Sender)>;

enum TFMXFlatBtnType : uint8_t
{
    mtMetroSingle,
    mtMetroDouble,
    mtFluentSingle,
    mtFluentDouble,
    mtWin11Single,
    mtWin11Double,
    mtiOSSingle,
    mtiOSDouble,
};

inline constexpr TAlphaColor FlatBtnNoColor = 0x00FFFFFF;
inline constexpr TAlphaColor FlatBtnOrange = 0xFFF09609;
inline constexpr TAlphaColor FlatBtnBlue = 0xFF1BA1E2;
inline constexpr TAlphaColor FlatBtnSkyBlue = 0xFF34AADC;
inline constexpr TAlphaColor FlatBtnRainbow = 0x00000001;

// Milliseconds that wrap at 2^32 like timeGetTime; tests put their own clock here.
extern std::function<uint32_t()> flatBtnTickCount;

// "#RRGGBB" (opaque) or "#AARRGGBB"; anything else gives FlatBtnNoColor.
TAlphaColor ColorFromText(const QString &s);
// Weighted luma of the colour's channels, 0 to 255; alpha is ignored.
double ColorBrightness(TAlphaColor c);
// Caps the lightness at 0.4 in the light look and raises it to 0.6 in the dark one.
TAlphaColor ColorForTheme(TAlphaColor c);
// Scales the channels by f, rounding halves to even; the result is opaque.
TAlphaColor ColorDim(TAlphaColor c, double f);

class TFMXFlatBtn : public QWidget
{
    Q_OBJECT

public:
    // Create: a 60 x 60 Metro button owned by AOwner.
    explicit TFMXFlatBtn(QWidget *AOwner);
    // CreateParam: every argument is required; AOwner owns the button until
    // AParent, when given, takes it over.
    TFMXFlatBtn(QWidget *AOwner, QWidget *AParent, TFMXFlatBtnType AFlatBtnType,
                const QString &ASVGData, const QString &AText, TAlphaColor AColor, float AX,
                float AY, TNotifyEvent AExecuteL, TNotifyEvent AExecuteR, bool AisDown,
                bool AisToggle);

    TFMXFlatBtnType FlatBtnType() const { return FFlatBtnType; }
    void setFlatBtnType(TFMXFlatBtnType value);
    TAlphaColor Color() const { return FbgColor; }
    void setColor(TAlphaColor value);
    QString SVGData() const { return FSVGData; }
    void setSVGData(const QString &value);
    QString Text() const { return FText; }
    void setText(const QString &value);
    bool isDown() const { return FisDown; }
    void setIsDown(bool value);
    bool isToggle() const { return FisToggle; }
    void setIsToggle(bool value);
    bool isColorDot() const { return FColorDot; }
    void setIsColorDot(bool value);
    TNotifyEvent OnExecute() const { return FOnExecuteL; }
    void setOnExecute(TNotifyEvent value);
    TNotifyEvent OnExecuteL() const { return FOnExecuteL; }
    void setOnExecuteL(TNotifyEvent value);
    TNotifyEvent OnExecuteR() const { return FOnExecuteR; }
    void setOnExecuteR(TNotifyEvent value);

    bool TextIsColorCode() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    using TPaintHandler = void (TFMXFlatBtn::*)(QPainter &Canvas, const QRectF &R);
    // Fills a tile with the current brush at the given opacity (square or rounded).
    using TTileFill = void (*)(QPainter &Canvas, const QRectF &r, double opacity);
    // What a tile leaves to draw on it: the icon and the colour that reads on the tile.
    struct TFace
    {
        TAlphaColor fore;
        QString icon;
    };

    void FlatBtnTypeApply(TFMXFlatBtnType t);
    void BtnMouseDown();
    void BtnMouseEnter();
    void BtnMouseLeave();
    void BtnMouseUp(QObject *Sender, Qt::MouseButton Button, qreal X, qreal Y);

    // Drawing, one handler per look (uFMXFlatBtnPaint.cpp).
    void MetroPaint(QPainter &Canvas, const QRectF &R);
    void FluentPaint(QPainter &Canvas, const QRectF &R);
    void Win11Paint(QPainter &Canvas, const QRectF &R);
    void iOSPaint(QPainter &Canvas, const QRectF &R);
    TAlphaColor SwatchTileDraw(QPainter &Canvas, const QRectF &R, TTileFill fill);
    TFace FaceTileDraw(QPainter &Canvas, const QRectF &R, TTileFill fill, bool pressedIn,
                       TAlphaColor iconFore);
    QString SwatchIcon() const;
    double IconInset() const;
    bool OwnEnabled() const;
    void FocusRingDraw(QPainter &Canvas, const QRectF &R);
    void CaptionDraw(QPainter &Canvas, const QRectF &R, bool shifted);
    void IconDraw(QPainter &Canvas, const QRectF &R, const TFace &face);
    void FinishDraw(QPainter &Canvas, const QRectF &R, bool captionShifted, TAlphaColor veil,
                    double veilOpacity);

    TFMXFlatBtnType FFlatBtnType = mtMetroSingle;
    TAlphaColor FbgColor = FlatBtnBlue;
    QString FSVGData;
    QString FText;
    uint32_t FTime = 0;
    TNotifyEvent FOnExecuteL;
    TNotifyEvent FOnExecuteR;
    bool FisToggle = false;
    bool FisEnter = false;
    bool MDown = false;
    bool FisDown = false;
    bool FColorDot = false;
    bool FFocusRing = false; // focus came from the keyboard
    TPaintHandler FPaint = nullptr;
    TSVGIconCache FIcon;
};
