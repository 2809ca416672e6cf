// One repaint of the icon widgets, as the window does on every hover, press
// and resize: a flat button with its icon and caption, and a corner arrow.
#include "components/uFMXFlatBtn.h"
#include "components/uFMXPath.h"
#include "components/uSVGData.h"

#include <QImage>
#include <benchmark/benchmark.h>

namespace {

QImage canvasFor(const QWidget &w, qreal dpr)
{
    QImage image(w.size() * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    return image;
}

void repaint(benchmark::State &state, QWidget &w)
{
    const qreal dpr = qreal(state.range(0));
    QImage image = canvasFor(w, dpr);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_FlatBtnRepaint(benchmark::State &state)
{
    TFMXFlatBtn button(nullptr);
    button.setFlatBtnType(mtWin11Single);
    button.setSVGData(QString::fromLatin1(SVGOpen));
    button.setText(QStringLiteral("Open"));
    repaint(state, button);
}
BENCHMARK(BM_FlatBtnRepaint)->Arg(1)->Arg(2);

void BM_PathRepaint(benchmark::State &state)
{
    TFMXPath path;
    path.resize(20, 20);
    path.setData(QString::fromLatin1(SVGCornerTopLeft));
    repaint(state, path);
}
BENCHMARK(BM_PathRepaint)->Arg(1)->Arg(2);

} // namespace
