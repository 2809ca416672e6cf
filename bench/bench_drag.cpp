// Dragging a crop line over the preview of a full-capacity grid: one pointer
// move is the handler, the crop display and the repaint of what changed.
#include "bench/terrain.h"
#include "components/uFMXLine.h"
#include "elevation/uFMXBILUtils.h"
#include "mainwindow/uFrmMain.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace {

// Counts the paints of the preview, to be sure each move was painted.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

void openInWindow(TFrmMain &window, const QString &path)
{
    QTimer::singleShot(0, [path] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog *>(dialog)->accept();
    });
    window.btOpenClick(nullptr);
}

void sendMouse(QWidget *target, QEvent::Type type, QPointF pos)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void BM_DragLine(benchmark::State &state)
{
    const int areaWidth = int(state.range(0)), areaHeight = int(state.range(1));
    TFrmMain window([] {});
    window.resize(areaWidth + 20, 60 + areaHeight + 20);
    window.show();
    QApplication::processEvents();
    openInWindow(window, BenchGridFile());
    QWidget *image = window.findChild<QWidget *>(QStringLiteral("Image1"));
    auto *line = window.findChild<TFMXLine *>(QStringLiteral("LineX0"));
    PaintCounter counter;
    image->installEventFilter(&counter);
    QApplication::processEvents();

    sendMouse(line, QEvent::MouseButtonPress, QPointF(2, 10));
    std::vector<double> times;
    int step = 0;
    for (auto _ : state) {
        const double x = 10 + (step++ * 37) % (image->width() - 20);
        const auto start = std::chrono::steady_clock::now();
        sendMouse(line, QEvent::MouseMove, line->mapFrom(image, QPointF(x, 50)));
        QApplication::processEvents();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    sendMouse(line, QEvent::MouseButtonRelease, QPointF(2, 10));
    std::nth_element(times.begin(), times.begin() + ptrdiff_t(times.size() / 2), times.end());
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["paints_per_move"] = double(counter.paints) / double(times.size());
}

} // namespace

BENCHMARK(BM_DragLine)
    ->Args({620, 400})
    ->Args({1900, 1000})
    ->Iterations(300)
    ->Unit(benchmark::kMillisecond);

namespace {

// Resizing the window rescales the preview once for the new size.
void BM_ResizePreview(benchmark::State &state)
{
    TFrmMain window([] {});
    window.resize(640, 480);
    window.show();
    QApplication::processEvents();
    openInWindow(window, BenchGridFile());
    QApplication::processEvents();
    int step = 0;
    for (auto _ : state) {
        window.resize(640 + (++step % 2) * 40, 480);
        QApplication::processEvents();
    }
}

} // namespace

BENCHMARK(BM_ResizePreview)->Iterations(20)->Unit(benchmark::kMillisecond);
