// The flat button's four looks, checked on rendered pixels, and the colour
// helpers they use.

#include "components/uFMXFlatBtn.h"
#include "components/uFMXTheme.h"
#include "components/uSVGData.h"

#include <QEnterEvent>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr char unitSquare[] = "M0,0 L1,0 L1,1 L0,1 Z";
constexpr TAlphaColor accent = 0xFF0078D7;
constexpr TAlphaColor lightBg = 0xFFFBFBFB;
constexpr TAlphaColor darkBg = 0xFF2D2D2D;
constexpr TAlphaColor lightFg = 0xFF1B1B1B;
constexpr TAlphaColor darkFg = 0xFFFFFFFF;

// Sets a known theme for each test and puts the real one back afterwards.
class FlatBtnPaint : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedLight = IsLightTheme;
        savedAccent = SysAccentColor;
        IsLightTheme = true;
        SysAccentColor = accent;
    }
    void TearDown() override
    {
        IsLightTheme = savedLight;
        SysAccentColor = savedAccent;
    }

    bool savedLight = true;
    TAlphaColor savedAccent = 0;
};

QImage render(TFMXFlatBtn &b, qreal dpr = 1)
{
    QImage image(b.size() * dpr, QImage::Format_ARGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    b.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void hover(TFMXFlatBtn &b)
{
    QEnterEvent enter(QPointF(30, 30), QPointF(30, 30), QPointF(30, 30));
    QCoreApplication::sendEvent(&b, &enter);
}

void press(TFMXFlatBtn &b)
{
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(30, 30));
}

TAlphaColor blend(TAlphaColor top, TAlphaColor under, double opacity)
{
    auto mix = [&](int shift) {
        const int a = (top >> shift) & 0xFF;
        const int b = (under >> shift) & 0xFF;
        return uint32_t(std::lround(b + (a - b) * opacity)) << shift;
    };
    return 0xFF000000 | mix(16) | mix(8) | mix(0);
}

::testing::AssertionResult near(QRgb actual, TAlphaColor expected, int tolerance = 2)
{
    for (int shift : {24, 16, 8, 0}) {
        const int a = (actual >> shift) & 0xFF;
        const int e = (expected >> shift) & 0xFF;
        if (std::abs(a - e) > tolerance)
            return ::testing::AssertionFailure()
                   << "pixel " << std::hex << actual << " expected " << expected;
    }
    return ::testing::AssertionSuccess();
}

std::unique_ptr<TFMXFlatBtn> button(TFMXFlatBtnType type, const QString &svg = unitSquare)
{
    auto b = std::make_unique<TFMXFlatBtn>(nullptr);
    b->setFlatBtnType(type);
    b->setSVGData(svg);
    return b;
}

// Share of device pixel p inside the logical span [from, from + size].
double overlap(int p, qreal dpr, double from, double size)
{
    const double lo = std::max(p / dpr, from);
    const double hi = std::min((p + 1) / dpr, from + size);
    return std::max(0.0, hi - lo) * dpr;
}

// Checks the row and the column through the icon's middle: each device
// pixel is the tile colour mixed with the icon colour by its share of the square.
void expectIconSquare(const QImage &image, qreal dpr, double x0, double y0, double side,
                      TAlphaColor tile, TAlphaColor icon)
{
    const int midX = int((x0 + side / 2) * dpr);
    const int midY = int((y0 + side / 2) * dpr);
    for (int p = int(x0 * dpr) - 2; p <= int((x0 + side) * dpr) + 2; ++p)
        EXPECT_TRUE(near(image.pixel(p, midY), blend(icon, tile, overlap(p, dpr, x0, side)), 5))
            << "column " << p;
    for (int p = int(y0 * dpr) - 2; p <= int((y0 + side) * dpr) + 2; ++p)
        EXPECT_TRUE(near(image.pixel(midX, p), blend(icon, tile, overlap(p, dpr, y0, side)), 5))
            << "row " << p;
}

} // namespace

TEST(FlatBtnColors, Brightness)
{
    EXPECT_NEAR(ColorBrightness(0xFF1BA1E2), 128.4, 0.05);
    EXPECT_NEAR(ColorBrightness(0xFFFF0000), 76.2, 0.05);
    EXPECT_NEAR(ColorBrightness(0xFF0000FF), 29.2, 0.05);
    EXPECT_NEAR(ColorBrightness(0x00FF8000), 151.3, 0.05); // alpha ignored
}

TEST(FlatBtnColors, ColorForTheme)
{
    struct Case
    {
        bool light;
        TAlphaColor in, out;
    };
    const Case cases[] = {
        {true, 0xFFFF0000, 0xFFCC0000},  {false, 0xFFFF0000, 0xFFFF3333},
        {true, 0xFF1BA1E2, 0xFF1682B6},  {false, 0xFF1BA1E2, 0xFF49B5E9},
        {true, 0xFFF09609, 0xFFC57B07},  {false, 0xFFF09609, 0xFFF8AE3A},
        {true, 0xFF333333, 0xFF333333},  {false, 0xFF800000, 0xFFFF3333},
        {false, 0xFF999999, 0xFF999999}, // lightness exactly 0.6 stays
        {true, 0x80FFFFFF, 0xFF666666},  // a changed colour is opaque
        {false, 0x80FFFFFF, 0x80FFFFFF}, // an unchanged one keeps its alpha
    };
    const bool saved = IsLightTheme;
    for (const Case &c : cases) {
        IsLightTheme = c.light;
        EXPECT_EQ(ColorForTheme(c.in), c.out) << std::hex << c.in << " light " << c.light;
    }
    IsLightTheme = saved;
}

TEST(FlatBtnColors, DimRoundsHalvesToEven)
{
    EXPECT_EQ(ColorDim(0xFFFF6600, 0.9), 0xFFE65C00u); // 229.5 gives 230
    EXPECT_EQ(ColorDim(0x006666CC, 0.9), 0xFF5C5CB8u);
    EXPECT_EQ(ColorDim(0xFF050703, 0.5), 0xFF020402u); // 2.5, 3.5, 1.5
    EXPECT_EQ(ColorDim(0xFF808080, 2.5), 0xFFFFFFFFu); // clamped
}

TEST_F(FlatBtnPaint, IconCoversItsSquare)
{
    struct Case
    {
        TFMXFlatBtnType type;
        bool pressed;
        qreal dpr;
        double x0, y0, side;
    };
    const Case cases[] = {
        {mtMetroSingle, false, 1, 17.4, 17.4, 25.2}, {mtMetroSingle, true, 1, 19.14, 19.14, 21.72},
        {mtMetroDouble, false, 1, 52.4, 17.4, 25.2}, {mtMetroDouble, true, 1, 54.14, 19.14, 21.72},
        {mtMetroSingle, false, 2, 17.4, 17.4, 25.2}, {mtMetroSingle, true, 2, 19.14, 19.14, 21.72},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << int(c.type) << " pressed " << c.pressed << " dpr " << c.dpr);
        auto b = button(c.type);
        if (c.pressed) press(*b);
        expectIconSquare(render(*b, c.dpr), c.dpr, c.x0, c.y0, c.side, FlatBtnBlue, lightFg);
    }
}

TEST_F(FlatBtnPaint, MetroForegroundFollowsBrightness)
{
    struct Case
    {
        TAlphaColor color, icon;
    };
    const Case cases[] = {
        {0xFF1BA1E2, lightFg}, {0xFFFF0000, 0xFFFFFFFF},     {0xFF0000FF, 0xFFFFFFFF},
        {0xFFFF8000, lightFg}, {FlatBtnRainbow, 0xFFFFFFFF},
    };
    for (const Case &c : cases) {
        auto b = button(mtMetroSingle);
        b->setColor(c.color);
        EXPECT_TRUE(near(render(*b).pixel(30, 30), c.icon)) << std::hex << c.color;
    }
}

TEST_F(FlatBtnPaint, FluentWithoutColourUsesTheAccent)
{
    enum State
    {
        rest,
        hovered,
        pressed
    };
    struct Case
    {
        bool light;
        State state;
    };
    const Case cases[] = {{true, rest},  {true, hovered},  {true, pressed},
                          {false, rest}, {false, hovered}, {false, pressed}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "light " << c.light << " state " << c.state);
        IsLightTheme = c.light;
        const TAlphaColor bg = c.light ? lightBg : darkBg;
        auto b = button(mtFluentSingle);
        if (c.state == hovered) hover(*b);
        if (c.state == pressed) press(*b);
        const QImage image = render(*b);
        const TAlphaColor half = blend(accent, bg, 0.5);
        EXPECT_TRUE(near(image.pixel(1, 30), c.state == hovered ? half : bg));
        EXPECT_TRUE(near(image.pixel(5, 30), c.state == rest      ? bg
                                             : c.state == hovered ? half
                                                                  : accent));
        EXPECT_TRUE(near(image.pixel(30, 30), c.light ? lightFg : darkFg));
    }
}

TEST_F(FlatBtnPaint, FluentColouredIconFollowsTheThemeUntilHovered)
{
    struct Case
    {
        bool light;
        TAlphaColor color;
        bool hovered;
        TAlphaColor icon;
    };
    const Case cases[] = {
        {true, 0xFFF09609, false, 0xFFC57B07},  {true, 0xFFF09609, true, lightFg},
        {false, 0xFF999999, false, 0xFF999999}, {false, 0xFF800000, false, 0xFFFF3333},
        {false, 0xFF800000, true, darkFg},
    };
    for (const Case &c : cases) {
        IsLightTheme = c.light;
        auto b = button(mtFluentSingle);
        b->setColor(c.color);
        if (c.hovered) hover(*b);
        EXPECT_TRUE(near(render(*b).pixel(30, 30), c.icon)) << std::hex << c.color;
    }
}

TEST_F(FlatBtnPaint, FluentLatchedBarAlongTheBottom)
{
    auto b = button(mtFluentSingle);
    b->setIsDown(true);
    const QImage image = render(*b);
    EXPECT_TRUE(near(image.pixel(30, 56), lightBg));
    for (int y = 57; y < 60; ++y)
        EXPECT_TRUE(near(image.pixel(30, y), accent)) << y;
}

TEST_F(FlatBtnPaint, Win11HoverKeepsAnOpaqueOutline)
{
    auto b = button(mtWin11Single);
    hover(*b);
    // At ratio 2 the outline centred on the edge fills the first device pixel.
    const QImage image = render(*b, 2);
    EXPECT_TRUE(near(image.pixel(0, 60), FlatBtnBlue));
    EXPECT_TRUE(near(image.pixel(1, 60), blend(FlatBtnBlue, lightBg, 0.5)));
    EXPECT_TRUE(near(image.pixel(60, 60), lightFg));
}

TEST_F(FlatBtnPaint, Win11LatchedLooksPressedWithTheNormalIcon)
{
    auto b = button(mtWin11Single);
    b->setIsDown(true);
    const QImage image = render(*b);
    EXPECT_TRUE(near(image.pixel(2, 30), lightBg));
    EXPECT_TRUE(near(image.pixel(6, 30), FlatBtnBlue));
    expectIconSquare(image, 1, 17.4, 17.4, 25.2, FlatBtnBlue, lightFg);
}

TEST_F(FlatBtnPaint, iOSHighlightAndHover)
{
    struct Case
    {
        bool toggle, down, hovered, pressed;
        TAlphaColor icon;
    };
    const Case cases[] = {
        {true, true, true, false, lightFg},         {true, true, false, false, FlatBtnSkyBlue},
        {true, false, true, false, FlatBtnSkyBlue}, {true, false, false, false, lightFg},
        {false, true, true, false, FlatBtnSkyBlue}, {false, false, true, false, FlatBtnSkyBlue},
        {false, false, false, false, lightFg},      {true, true, true, true, FlatBtnSkyBlue},
    };
    for (const Case &c : cases) {
        auto b = button(mtiOSSingle);
        b->setIsToggle(c.toggle);
        b->setIsDown(c.down);
        if (c.hovered) hover(*b);
        if (c.pressed) press(*b);
        EXPECT_TRUE(near(render(*b).pixel(30, 30), c.icon))
            << c.toggle << c.down << c.hovered << c.pressed;
    }
}

TEST_F(FlatBtnPaint, iOSColourDotMovesWhilePressed)
{
    auto b = button(mtiOSSingle, "");
    b->setText("#FF0000");
    QImage image = render(*b);
    EXPECT_TRUE(near(image.pixel(9, 9), 0xFFFF0000));
    EXPECT_TRUE(near(image.pixel(13, 13), lightBg));
    press(*b);
    image = render(*b);
    EXPECT_TRUE(near(image.pixel(11, 11), 0xFFFF0000));
    EXPECT_TRUE(near(image.pixel(7, 7), lightBg));
}

TEST_F(FlatBtnPaint, SwatchShowsItsColourAndTheCheckMarkWhenLatched)
{
    for (TFMXFlatBtnType type : {mtMetroSingle, mtFluentSingle, mtWin11Single}) {
        for (bool down : {false, true}) {
            auto b = button(type);
            b->setText("#FF0000");
            b->setIsDown(down);
            const QImage image = render(*b);
            EXPECT_TRUE(near(image.pixel(5, 30), 0xFFFF0000)) << int(type);
            // A point on the check mark's long stroke; the square icon is not drawn.
            EXPECT_TRUE(near(image.pixel(33, 28), down ? 0xFFFFFFFF : 0xFFFF0000))
                << int(type) << " down " << down;
        }
    }
}

TEST_F(FlatBtnPaint, RainbowStripesAndTheirDimming)
{
    const TAlphaColor stripes[7][2] = {
        {0xFFFF0000, 0xFFE60000}, {0xFFFF6600, 0xFFE65C00}, {0xFFFFFF00, 0xFFE6E600},
        {0xFF00FF00, 0xFF00E600}, {0xFF0000FF, 0xFF0000E6}, {0xFF6666CC, 0xFF5C5CB8},
        {0xFFFF00FF, 0xFFE600E6},
    };
    for (bool hovered : {false, true}) {
        for (TFMXFlatBtnType type : {mtMetroSingle, mtFluentSingle, mtWin11Single}) {
            auto b = button(type, "");
            // Metro shows the rainbow colour as such; the others only in swatch
            // mode, whose caption covers the lower stripes' sample points.
            int stripeCount = 7;
            if (type == mtMetroSingle) {
                b->setColor(FlatBtnRainbow);
            } else {
                b->setText("#00000001");
                stripeCount = 4;
            }
            if (hovered) hover(*b);
            const QImage image = render(*b);
            for (int k = 1; k <= stripeCount; ++k) {
                const int p = 30 * (2 * k - 1) / 7; // on stripe k's centre line
                EXPECT_TRUE(near(image.pixel(p, p), stripes[k - 1][hovered], 1))
                    << int(type) << " stripe " << k << " hovered " << hovered;
            }
        }
    }
}

TEST_F(FlatBtnPaint, RainbowOnlyInSwatchModeForFluentAndWin11)
{
    for (TFMXFlatBtnType type : {mtFluentSingle, mtWin11Single}) {
        auto b = button(type, "");
        b->setColor(FlatBtnRainbow);
        // Icon mode: the alpha of 0 stands for the accent, shown on hover.
        hover(*b);
        EXPECT_TRUE(near(render(*b).pixel(30, 30), blend(accent, lightBg, 0.5))) << int(type);
    }
}

TEST_F(FlatBtnPaint, WideRainbowUsesTheThinnerStroke)
{
    auto b = button(mtMetroDouble, "");
    b->setColor(FlatBtnRainbow);
    const QImage image = render(*b);
    // Stripe 4 crosses the middle row alone between x = 40 and x = 90; its
    // horizontal extent is the stroke 2H/(7 sqrt 5) over the sine of its slope.
    double covered = 0;
    for (int x = 40; x < 90; ++x)
        covered += qAlpha(image.pixel(x, 30)) / 255.0;
    const double stroke = 2 * 60 / (7 * std::sqrt(5.0));
    EXPECT_NEAR(covered, stroke * std::hypot(60.0, 130.0) / 60, 0.3);
}

TEST_F(FlatBtnPaint, DisabledVeil)
{
    struct Case
    {
        TFMXFlatBtnType type;
        TAlphaColor veiled;
    };
    const Case cases[] = {
        {mtMetroSingle, blend(0xFF000000, FlatBtnBlue, 0.1)},
        {mtFluentSingle, blend(0xFF000000, lightBg, 0.1)},
        {mtWin11Single, blend(0xFF000000, lightBg, 0.1)},
        {mtiOSSingle, blend(FlatBtnSkyBlue, lightBg, 0.5)},
    };
    for (const Case &c : cases) {
        auto b = button(c.type);
        b->setEnabled(false);
        EXPECT_TRUE(near(render(*b).pixel(5, 30), c.veiled)) << int(c.type);
    }
}

TEST_F(FlatBtnPaint, DisabledParentLeavesNoVeil)
{
    QWidget parent;
    TFMXFlatBtn b(&parent);
    parent.setEnabled(false);
    ASSERT_FALSE(b.isEnabled());
    EXPECT_TRUE(near(render(b).pixel(5, 30), FlatBtnBlue));
}

TEST_F(FlatBtnPaint, CaptionSitsInTheLowerLeftBox)
{
    auto b = button(mtMetroSingle, "");
    b->setText("Open");
    const QImage image = render(*b);
    int inked = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 60; ++x) {
            if (near(image.pixel(x, y), FlatBtnBlue, 8)) continue;
            ++inked;
            EXPECT_TRUE(x >= 6 && x < 54 && y >= 30 && y < 57) << x << "," << y;
        }
    }
    EXPECT_GT(inked, 20);
}

TEST_F(FlatBtnPaint, EvenOddRuleCutsHoles)
{
    // Both squares wind the same way: only the even-odd rule leaves the hole.
    auto b = button(mtMetroSingle,
                    "M0,0 L1,0 L1,1 L0,1 Z M0.25,0.25 L0.75,0.25 L0.75,0.75 L0.25,0.75 Z");
    const QImage image = render(*b);
    EXPECT_TRUE(near(image.pixel(19, 30), lightFg));
    EXPECT_TRUE(near(image.pixel(30, 30), FlatBtnBlue));
}

TEST_F(FlatBtnPaint, EveryIconOfTheProgramDraws)
{
    struct Case
    {
        const char *name;
        const char *path;
        QPointF inside, outside; // unit coordinates
    };
    const Case cases[] = {
        {"open", SVGOpen, {0.03, 0.5}, {0.5, 0.6}},
        // The outer outline starts with 4.172E-7.
        {"save", SVGSave, {0.03, 0.5}, {0.5, 0.7}},
        {"about", SVGAbout, {0.5, 0.05}, {0.25, 0.5}},
        {"corner top left", SVGCornerTopLeft, {0.11, 0.5}, {0.5, 0.05}},
        {"corner bottom right", SVGCornerBottomRight, {0.89, 0.5}, {0.5, 0.95}},
        {"check mark", CheckMarkPath, {0.64, 0.44}, {0.2, 0.2}},
    };
    for (const Case &c : cases) {
        // A large button leaves no doubt about which pixel a unit point is in.
        auto b = button(mtMetroSingle, c.path);
        b->resize(600, 600);
        const QImage image = render(*b);
        auto at = [](QPointF u) { return QPoint(int(174 + 252 * u.x()), int(174 + 252 * u.y())); };
        EXPECT_TRUE(near(image.pixel(at(c.inside)), lightFg)) << c.name;
        EXPECT_TRUE(near(image.pixel(at(c.outside)), FlatBtnBlue)) << c.name;
    }
}
