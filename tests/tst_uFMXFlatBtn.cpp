// The flat button as a control: construction, properties, colour codes and
// what a release does.

#include "components/uFMXFlatBtn.h"

#include <QImage>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// A clock the test moves by hand, so long presses need no sleeping.
class FakeClock : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = flatBtnTickCount;
        flatBtnTickCount = [this] { return now; };
    }
    void TearDown() override { flatBtnTickCount = saved; }

    uint32_t now = 0;
    std::function<uint32_t()> saved;
};

// Counts paints, to tell which writes repaint.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

QImage renderButton(TFMXFlatBtn &b)
{
    QImage image(b.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    b.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

TEST(FlatBtnCreate, DefaultsToSquareMetroButton)
{
    QWidget owner;
    auto *b = new TFMXFlatBtn(&owner);
    EXPECT_EQ(b->parent(), &owner);
    EXPECT_EQ(b->FlatBtnType(), mtMetroSingle);
    EXPECT_EQ(b->size(), QSize(60, 60));
    EXPECT_EQ(b->Color(), 0xFF1BA1E2u);
    EXPECT_TRUE(b->SVGData().isEmpty());
    EXPECT_TRUE(b->Text().isEmpty());
    EXPECT_FALSE(b->OnExecuteL());
    EXPECT_FALSE(b->OnExecuteR());
    EXPECT_FALSE(b->isDown());
    EXPECT_FALSE(b->isToggle());
    EXPECT_FALSE(b->isColorDot());
    EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(b->contentsMargins(), QMargins(5, 5, 5, 5));
}

TEST(FlatBtnCreate, CreateParamStoresEveryArgument)
{
    QWidget owner;
    QWidget strip(&owner);
    QObject *seen = nullptr;
    auto *b = new TFMXFlatBtn(
        &owner, &strip, mtFluentDouble, "M0,0 L1,1 Z", "Open", 0xFF112233, 60.f, 4.f,
        [&](QObject *s) { seen = s; }, nullptr, true, true);
    EXPECT_EQ(b->parent(), &strip);
    EXPECT_EQ(b->FlatBtnType(), mtFluentDouble);
    EXPECT_EQ(b->geometry(), QRect(60, 4, 130, 60));
    EXPECT_EQ(b->Color(), 0xFF112233u); // not the Fluent default 0
    EXPECT_EQ(b->SVGData(), "M0,0 L1,1 Z");
    EXPECT_EQ(b->Text(), "Open");
    EXPECT_TRUE(b->isDown());
    EXPECT_TRUE(b->isToggle());
    EXPECT_FALSE(b->isColorDot());
    EXPECT_FALSE(b->OnExecuteR());
    b->OnExecuteL()(b);
    EXPECT_EQ(seen, b);
}

TEST(FlatBtnCreate, ColourArgumentWinsOverColourCodeButKeepsTheDot)
{
    QWidget owner;
    TFMXFlatBtn b(&owner, &owner, mtMetroSingle, "", "#FF0000", 0xFF00FF00, 0, 0, nullptr, nullptr,
                  false, false);
    EXPECT_EQ(b.Color(), 0xFF00FF00u);
    EXPECT_TRUE(b.isColorDot());
}

TEST(FlatBtnStyle, WritingAnotherStyleResetsSizeAndColour)
{
    struct Case
    {
        TFMXFlatBtnType type;
        QSize size;
        TAlphaColor color;
    };
    const Case cases[] = {
        {mtMetroDouble, {130, 60}, 0xFF1BA1E2},  {mtFluentSingle, {60, 60}, 0x00000000},
        {mtFluentDouble, {130, 60}, 0x00000000}, {mtWin11Single, {60, 60}, 0xFF1BA1E2},
        {mtWin11Double, {130, 60}, 0xFF1BA1E2},  {mtiOSSingle, {60, 60}, 0xFF34AADC},
        {mtiOSDouble, {130, 60}, 0xFF34AADC},
    };
    for (const Case &c : cases) {
        TFMXFlatBtn b(nullptr);
        b.resize(200, 90);
        b.setColor(0xFF123456);
        b.setFlatBtnType(c.type);
        EXPECT_EQ(b.size(), c.size) << int(c.type);
        EXPECT_EQ(b.Color(), c.color) << int(c.type);
    }
}

TEST(FlatBtnStyle, WritingTheCurrentStyleKeepsColourAndSize)
{
    TFMXFlatBtn b(nullptr);
    b.setFlatBtnType(mtiOSDouble);
    b.setColor(0xFF123456);
    b.resize(90, 45);
    b.setFlatBtnType(mtiOSDouble);
    EXPECT_EQ(b.Color(), 0xFF123456u);
    EXPECT_EQ(b.size(), QSize(90, 45));
}

TEST(FlatBtnStyle, ValueOutsideTheStylesPaintsNothing)
{
    TFMXFlatBtn b(nullptr);
    b.setSVGData("M0,0 L1,0 L1,1 L0,1 Z");
    b.setText("Open");
    b.setFlatBtnType(static_cast<TFMXFlatBtnType>(8));
    const QImage image = renderButton(b);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y), 0u) << x << "," << y;
}

TEST(FlatBtnText, ColourCodes)
{
    struct Case
    {
        const char *text;
        bool isCode;
        TAlphaColor color; // after starting from 0xFF123456
    };
    const Case cases[] = {
        {"#34AADC", true, 0xFF34AADC},    {"#34aadc", true, 0xFF34AADC},
        {"#FFF09609", true, 0xFFF09609},  {"#00000001", true, FlatBtnRainbow},
        {"#FFFFFFFF", true, 0xFFFFFFFF},  {"#00FFFFFF", false, 0xFF123456},
        {"#FFF", false, 0xFF123456},      {"#12AB3G", false, 0xFF123456},
        {"12AB34", false, 0xFF123456},    {"red", false, 0xFF123456},
        {"#+1234567", false, 0xFF123456}, {"# 12345", false, 0xFF123456},
        {"#0x12345", false, 0xFF123456},  {"#1234567", false, 0xFF123456},
    };
    for (const Case &c : cases) {
        TFMXFlatBtn b(nullptr);
        b.setColor(0xFF123456);
        b.setIsColorDot(!c.isCode);
        b.setText(c.text);
        EXPECT_EQ(b.Color(), c.color) << c.text;
        EXPECT_EQ(b.isColorDot(), c.isCode) << c.text;
        EXPECT_EQ(b.Text(), c.text);
    }
}

TEST(FlatBtnText, SameTextAgainKeepsALaterColour)
{
    TFMXFlatBtn b(nullptr);
    b.setText("#FF0000");
    b.setColor(0xFF00FF00);
    b.setIsColorDot(false);
    b.setText("#FF0000");
    EXPECT_EQ(b.Color(), 0xFF00FF00u);
    EXPECT_FALSE(b.isColorDot());
}

TEST(FlatBtnText, ColourCodeIsAnyTextStartingWithHash)
{
    TFMXFlatBtn b(nullptr);
    EXPECT_FALSE(b.TextIsColorCode());
    b.setText("#nonsense");
    EXPECT_TRUE(b.TextIsColorCode());
    b.setText("Open");
    EXPECT_FALSE(b.TextIsColorCode());
}

TEST(FlatBtnProperties, OnExecuteAndOnExecuteLAreOneCallback)
{
    TFMXFlatBtn b(nullptr);
    int calls = 0;
    b.setOnExecute([&](QObject *) { calls += 1; });
    b.OnExecuteL()(&b);
    b.setOnExecuteL([&](QObject *) { calls += 10; });
    b.OnExecute()(&b);
    EXPECT_EQ(calls, 11);
}

TEST(FlatBtnProperties, OnlySomeWritesRepaint)
{
    struct Case
    {
        const char *name;
        std::function<void(TFMXFlatBtn &)> write;
        bool repaints;
    };
    const Case cases[] = {
        {"Text", [](TFMXFlatBtn &b) { b.setText("Save"); }, false},
        {"Text colour code", [](TFMXFlatBtn &b) { b.setText("#FF0000"); }, false},
        {"Color", [](TFMXFlatBtn &b) { b.setColor(0xFF00FF00); }, false},
        {"isToggle", [](TFMXFlatBtn &b) { b.setIsToggle(true); }, false},
        {"isColorDot", [](TFMXFlatBtn &b) { b.setIsColorDot(true); }, false},
        {"SVGData same", [](TFMXFlatBtn &b) { b.setSVGData("M0,0 L1,1 Z"); }, false},
        {"SVGData other", [](TFMXFlatBtn &b) { b.setSVGData("M0,1 L1,0 Z"); }, true},
        {"isDown same", [](TFMXFlatBtn &b) { b.setIsDown(false); }, false},
        {"isDown other", [](TFMXFlatBtn &b) { b.setIsDown(true); }, true},
        {"style same", [](TFMXFlatBtn &b) { b.setFlatBtnType(mtMetroSingle); }, false},
        {"style other", [](TFMXFlatBtn &b) { b.setFlatBtnType(mtWin11Single); }, true},
    };
    for (const Case &c : cases) {
        TFMXFlatBtn b(nullptr);
        b.setSVGData("M0,0 L1,1 Z");
        b.setText("Open");
        PaintCounter counter;
        b.installEventFilter(&counter);
        b.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&b));
        QCoreApplication::processEvents();
        counter.paints = 0;
        c.write(b);
        QCoreApplication::processEvents();
        EXPECT_EQ(counter.paints > 0, c.repaints) << c.name;
    }
}

using FlatBtnRelease = FakeClock;

TEST_F(FlatBtnRelease, DispatchByButtonAndDuration)
{
    struct Case
    {
        Qt::MouseButton button;
        uint32_t heldMs;
        bool hasL, hasR;
        std::string called;
    };
    const Case cases[] = {
        {Qt::LeftButton, 0, true, true, "L"},      {Qt::LeftButton, 1999, true, true, "L"},
        {Qt::LeftButton, 2000, true, true, "R"},   {Qt::LeftButton, 60000, true, false, "L"},
        {Qt::LeftButton, 2000, false, true, "R"},  {Qt::LeftButton, 1999, false, true, ""},
        {Qt::RightButton, 10, true, true, "R"},    {Qt::RightButton, 10, true, false, ""},
        {Qt::RightButton, 3000, true, false, ""},  {Qt::MiddleButton, 10, true, true, ""},
        {Qt::MiddleButton, 2000, true, true, "R"}, {Qt::MiddleButton, 2000, true, false, ""},
    };
    for (const bool toggle : {false, true}) {
        for (const Case &c : cases) {
            TFMXFlatBtn b(nullptr);
            b.setIsToggle(toggle);
            std::string called;
            QObject *sender = nullptr;
            if (c.hasL) b.setOnExecuteL([&](QObject *s) { called += "L", sender = s; });
            if (c.hasR) b.setOnExecuteR([&](QObject *s) { called += "R", sender = s; });
            now = 1000;
            QTest::mousePress(&b, c.button, {}, QPoint(30, 30));
            now += c.heldMs;
            QTest::mouseRelease(&b, c.button, {}, QPoint(30, 30));
            const std::string where = std::to_string(c.button) + " " + std::to_string(c.heldMs);
            EXPECT_EQ(called, c.called) << where;
            if (!called.empty()) {
                EXPECT_EQ(sender, &b) << where;
            }
            EXPECT_EQ(b.isDown(), toggle) << where;
        }
    }
}

TEST_F(FlatBtnRelease, RightAndBottomEdgesCountAsOutside)
{
    struct Case
    {
        QPoint at;
        bool inside;
    };
    const Case cases[] = {
        {{0, 0}, true},    {{59, 59}, true},  {{60, 30}, false},
        {{30, 60}, false}, {{-1, 30}, false}, {{30, -1}, false},
    };
    for (const Case &c : cases) {
        TFMXFlatBtn b(nullptr);
        b.setIsToggle(true);
        int calls = 0;
        b.setOnExecuteL([&](QObject *) { ++calls; });
        QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(30, 30));
        QTest::mouseRelease(&b, Qt::LeftButton, {}, c.at);
        EXPECT_EQ(calls, c.inside ? 1 : 0) << c.at.x() << "," << c.at.y();
        EXPECT_EQ(b.isDown(), c.inside) << c.at.x() << "," << c.at.y();
    }
}

TEST_F(FlatBtnRelease, CallbackSeesTheFlippedState)
{
    TFMXFlatBtn b(nullptr);
    b.setIsToggle(true);
    std::vector<bool> seen;
    b.setOnExecuteL([&](QObject *s) { seen.push_back(static_cast<TFMXFlatBtn *>(s)->isDown()); });
    QTest::mouseClick(&b, Qt::LeftButton);
    QTest::mouseClick(&b, Qt::LeftButton);
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST_F(FlatBtnRelease, TickWrapBetweenPressAndReleaseKeepsTheTrueDuration)
{
    struct Case
    {
        uint32_t pressedAt;
        uint32_t heldMs;
        const char *called;
    };
    const Case cases[] = {
        {0xFFFFFFFFu - 999, 1999, "L"},
        {0xFFFFFFFFu - 999, 2000, "R"},
        {0xFFFFFFFFu, 1, "L"},
    };
    for (const Case &c : cases) {
        TFMXFlatBtn b(nullptr);
        std::string called;
        b.setOnExecuteL([&](QObject *) { called += "L"; });
        b.setOnExecuteR([&](QObject *) { called += "R"; });
        now = c.pressedAt;
        QTest::mousePress(&b, Qt::LeftButton);
        now = c.pressedAt + c.heldMs; // wraps past 2^32
        QTest::mouseRelease(&b, Qt::LeftButton);
        EXPECT_EQ(called, c.called) << c.pressedAt << " + " << c.heldMs;
    }
}

TEST(FlatBtnTick, ClockCountsMilliseconds)
{
    const uint32_t before = flatBtnTickCount();
    QTest::qWait(50);
    const uint32_t elapsed = flatBtnTickCount() - before;
    EXPECT_GE(elapsed, 40u);
}
