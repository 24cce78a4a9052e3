// The extractor window's map over a full region of 50,000 objects: the full repaint after the
// table changed, a repaint while the rectangle is dragged, one "Extraire" and a hover lookup.
//
//   QT_QPA_PLATFORM=offscreen region_map_bench

#include "app/region_map.h"
#include "bench/pseudo_random.h"
#include "extract/scene_load.h"
#include "extract/selection.h"
#include "scene/object_layout.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <string>

namespace {

using namespace vantor;

constexpr std::size_t kObjects = 50000;

// A scene file of objects spread over the whole region, each line with the values a marker
// and its label need (scene/object_layout.h: the name, the position).
std::string regionScene(std::size_t count)
{
    bench::PseudoRandom random{20261206};
    std::string text = "<scene>\r\n\r\n";
    for (std::size_t i = 0; i < count; ++i) {
        text += "<SceneObjectGroup>";
        for (std::size_t k = 0; k <= scene::value::kPositionZ; ++k) {
            std::string value = "0";
            if (k == scene::value::kName) value = "Region prim " + std::to_string(i + 1);
            if (k == scene::value::kPositionX || k == scene::value::kPositionY) {
                value = std::to_string(random.next(0.5, 255.5));
            }
            if (k == scene::value::kPositionZ) value = "22";
            text += "<V>" + value + "</V>";
        }
        text += "</SceneObjectGroup>\r\n";
    }
    return text + "\r\n</scene>\r\n";
}

// One map at the design size holding the region's objects.
struct Region {
    extract::SceneSelection selection;
    app::RegionMap map;
    QImage target{727, 711, QImage::Format_RGB32};

    Region()
    {
        extract::SceneLoad load = extract::loadSceneText(regionScene(kObjects));
        selection.setTable(std::move(load.objects), std::move(load.markers), std::move(load.positions));
        map.resize(target.size());
        map.setSelection(&selection);
        map.renderMarkers();
    }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButtons held)
    {
        QMouseEvent event(type, at, at, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(&map, &event);
    }
};

Region& region()
{
    static Region instance;
    return instance;
}

// The table changed: the marks are painted into the image again and the widget from it.
void fullRepaint(benchmark::State& state)
{
    Region& r = region();
    for (auto _ : state) {
        r.map.tableChanged();
        r.map.render(&r.target);
        benchmark::DoNotOptimize(r.target.constBits());
    }
    state.counters["markers"] = static_cast<double>(r.selection.markers().size());
}
BENCHMARK(fullRepaint)->Unit(benchmark::kMillisecond);

// One pointer move of 3 pixels while a button is held: only the strips the lines leave and
// enter, and the edges of the rectangle's inside, are painted.
void dragRepaint(benchmark::State& state)
{
    Region& r = region();
    r.mouse(QEvent::MouseButtonPress, {120, 140}, Qt::LeftButton);
    double step = 0;
    for (auto _ : state) {
        const app::RegionMap::Footprint before = r.map.footprint();
        step = step >= 300 ? 0 : step + 3;
        r.mouse(QEvent::MouseMove, {300 + step, 420 - step}, Qt::LeftButton);
        const QRegion damage = r.map.damageSince(before);
        r.map.render(&r.target, damage.boundingRect().topLeft(), damage);
        benchmark::DoNotOptimize(r.target.constBits());
    }
    r.mouse(QEvent::MouseButtonRelease, {300, 420}, Qt::NoButton);
}
BENCHMARK(dragRepaint)->Unit(benchmark::kMillisecond);

// "Extraire" with the whole map chosen (every object passes, so each run filters all 50,000),
// then the marks painted again.
void extraire(benchmark::State& state)
{
    Region& r = region();
    r.selection.selectAll();
    for (auto _ : state) {
        const extract::FilterResult result = r.selection.extract(false);
        r.map.tableChanged();
        r.map.render(&r.target);
        benchmark::DoNotOptimize(result.kept.size());
    }
    state.counters["markers"] = static_cast<double>(r.selection.objects().size());
}
BENCHMARK(extraire)->Unit(benchmark::kMillisecond);

// The marker under the pointer, for the tooltip.
void hoverLookup(benchmark::State& state)
{
    Region& r = region();
    bench::PseudoRandom random{7};
    std::size_t found = 0;
    for (auto _ : state) {
        const QPointF at(random.next(30, 713), random.next(8, 691));
        found += r.map.markerAtPixel(at).has_value() ? 1 : 0;
    }
    benchmark::DoNotOptimize(found);
}
BENCHMARK(hoverLookup)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
