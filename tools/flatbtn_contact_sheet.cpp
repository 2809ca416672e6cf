// Renders every look of the flat button, square and wide, in each state, as
// an icon button, as a colour swatch and as the rainbow, in the light and the
// dark theme, into one PNG: flatbtn_contact_sheet [output.png]

#include "components/uFMXFlatBtn.h"
#include "components/uFMXTheme.h"
#include "components/uSVGData.h"

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int cellW = 150;
constexpr int cellH = 76;
constexpr int labelW = 130;
constexpr int headerH = 56;
constexpr int panelGap = 24;
constexpr qreal pixelRatio = 2;

struct Row
{
    const char *name;
    TFMXFlatBtnType type;
    const char *icon;
    const char *caption;
    TAlphaColor color; // 0 keeps the style's own
};

struct Column
{
    const char *group;
    const char *state;
    const char *text;  // nullptr: the row's caption
    TAlphaColor color; // 0 keeps the row's
    std::function<void(TFMXFlatBtn &)> apply;
};

void hover(TFMXFlatBtn &b)
{
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
    QCoreApplication::sendEvent(&b, &enter);
}

void press(TFMXFlatBtn &b)
{
    hover(b);
    const QPointF at(b.width() / 2.0, b.height() / 2.0);
    QMouseEvent down(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&b, &down);
}

void latch(TFMXFlatBtn &b)
{
    b.setIsDown(true);
}

void latchHovered(TFMXFlatBtn &b)
{
    latch(b);
    hover(b);
}

void disable(TFMXFlatBtn &b)
{
    b.setEnabled(false);
}

void rest(TFMXFlatBtn &) {}

const std::vector<Row> rows = {
    {"Metro", mtMetroSingle, SVGOpen, "Open", 0},
    {"Metro wide", mtMetroDouble, SVGOpen, "Open", 0},
    {"Fluent", mtFluentSingle, SVGSave, "Save", 0},
    {"Fluent wide", mtFluentDouble, SVGSave, "Save", 0},
    {"Fluent orange", mtFluentSingle, SVGAbout, "About", FlatBtnOrange},
    {"Win11", mtWin11Single, SVGAbout, "About", 0},
    {"Win11 wide", mtWin11Double, SVGAbout, "About", 0},
    {"iOS", mtiOSSingle, SVGOpen, "Open", 0},
    {"iOS wide", mtiOSDouble, SVGOpen, "Open", 0},
};

const std::vector<Column> columns = {
    {"Icon button", "rest", nullptr, 0, rest},
    {"", "hovered", nullptr, 0, hover},
    {"", "pressed", nullptr, 0, press},
    {"", "latched", nullptr, 0, latch},
    {"", "latched, hovered", nullptr, 0, latchHovered},
    {"", "disabled", nullptr, 0, disable},
    {"Colour swatch", "rest", "#E81123", 0, rest},
    {"", "hovered", "#E81123", 0, hover},
    {"", "pressed", "#E81123", 0, press},
    {"", "latched", "#E81123", 0, latch},
    {"", "disabled", "#E81123", 0, disable},
    {"Rainbow", "rest", "#00000001", FlatBtnRainbow, rest},
    {"", "hovered", "#00000001", FlatBtnRainbow, hover},
    {"", "pressed", "#00000001", FlatBtnRainbow, press},
};

void drawPanel(QPainter &p, int top, bool light)
{
    IsLightTheme = light;
    const int width = labelW + cellW * int(columns.size());
    const int height = headerH + cellH * int(rows.size());
    const QColor window = light ? QColor(0xF3, 0xF3, 0xF3) : QColor(0x20, 0x20, 0x20);
    const QColor ink = light ? QColor(0x1B, 0x1B, 0x1B) : QColor(0xFF, 0xFF, 0xFF);
    p.fillRect(QRect(0, top, width, height), window);
    p.setPen(ink);
    QFont bold = p.font();
    bold.setBold(true);
    const QFont normal = p.font();
    p.setFont(bold);
    p.drawText(QRect(12, top + 8, labelW, 20), Qt::AlignLeft, light ? "Light" : "Dark");
    for (size_t c = 0; c < columns.size(); ++c) {
        const int x = labelW + int(c) * cellW;
        p.setFont(bold);
        p.drawText(QRect(x, top + 8, cellW * 3, 20), Qt::AlignLeft, columns[c].group);
        p.setFont(normal);
        p.drawText(QRect(x, top + 30, cellW, 20), Qt::AlignLeft, columns[c].state);
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        const int y = top + headerH + int(r) * cellH;
        p.setFont(normal);
        p.setPen(ink);
        p.drawText(QRect(12, y, labelW, 60), Qt::AlignLeft | Qt::AlignVCenter, rows[r].name);
        for (size_t c = 0; c < columns.size(); ++c) {
            const Row &row = rows[r];
            const Column &col = columns[c];
            const bool toggle = row.type == mtiOSSingle || row.type == mtiOSDouble;
            // The iOS look has no swatch and no rainbow.
            if (toggle && col.color == FlatBtnRainbow) continue;
            const TAlphaColor color = col.color ? col.color : row.color;
            auto button = std::make_unique<TFMXFlatBtn>(nullptr);
            button->setFlatBtnType(row.type);
            button->setSVGData(row.icon);
            if (color) button->setColor(color);
            button->setText(col.text ? col.text : row.caption); // a colour code wins
            button->setIsToggle(toggle);
            col.apply(*button);
            button->render(&p, QPoint(labelW + int(c) * cellW, y), QRegion(),
                           QWidget::DrawChildren);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : "docs/screenshots/flatbtn-contact-sheet.png";
    SysAccentColor = 0xFF0078D7;

    const int width = labelW + cellW * int(columns.size());
    const int panelH = headerH + cellH * int(rows.size());
    QImage sheet(QSize(width, 2 * panelH + panelGap) * pixelRatio, QImage::Format_ARGB32);
    sheet.setDevicePixelRatio(pixelRatio);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawPanel(p, 0, true);
    drawPanel(p, panelH + panelGap, false);
    p.end();
    if (!sheet.save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}
