// Line charts with PLplot: one stream per file, the cairo PNG driver for the
// picture and the SVG driver for the vector version.
#include "plot.h"

#include <plplot.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace pcm::plot {
namespace {

// Colour map 0: index 0 is the background, 1 the axes and text, 2 the grid,
// and from 3 on the series, in an order whose neighbours are easy to tell apart
// (the Tableau 10 palette), then the same series colours half transparent.
constexpr int kBackground = 0;
constexpr int kInk = 1;
constexpr int kGrid = 2;
constexpr int kFirstSeriesColour = 3;
constexpr PLINT kRed[] = {255, 40, 225, 31, 214, 44, 255, 148, 140, 227, 127, 188, 23};
constexpr PLINT kGreen[] = {255, 40, 225, 119, 39, 160, 127, 103, 86, 119, 127, 189, 190};
constexpr PLINT kBlue[] = {255, 40, 225, 180, 40, 44, 14, 189, 75, 194, 127, 34, 207};
constexpr int kColourCount = sizeof kRed / sizeof kRed[0];
constexpr int kSeriesColourCount = kColourCount - kFirstSeriesColour;
constexpr PLFLT kPaleAlpha = 0.45;

int seriesColour(std::size_t index, bool pale = false) {
    return kFirstSeriesColour + static_cast<int>(index % kSeriesColourCount) + (pale ? kSeriesColourCount : 0);
}

// The palette with the pale copies of the series colours appended.
void setPalette() {
    constexpr int n = kColourCount + kSeriesColourCount;
    PLINT r[n], g[n], b[n];
    PLFLT alpha[n];
    for (int k = 0; k < n; ++k) {
        const int base = k < kColourCount ? k : k - kSeriesColourCount;
        r[k] = kRed[base];
        g[k] = kGreen[base];
        b[k] = kBlue[base];
        alpha[k] = k < kColourCount ? 1.0 : kPaleAlpha;
    }
    plscmap0a(r, g, b, alpha, n);
}

// Length of a line on the page, in pixels.  PLplot draws dashes one short
// segment at a time, so a long wiggly dashed line (a year of daily swings)
// costs much time and bloats the SVG, and its dashes no longer read anyway.
double pathLength(const std::vector<PLFLT>& x, const std::vector<PLFLT>& y, double pixelsPerX, double pixelsPerY) {
    double length = 0;
    for (std::size_t i = 1; i < x.size(); ++i)
        if (std::isfinite(x[i] + y[i] + x[i - 1] + y[i - 1]))
            length += std::hypot((x[i] - x[i - 1]) * pixelsPerX, (y[i] - y[i - 1]) * pixelsPerY);
    return length;
}

struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void take(double v) {
        if (!std::isfinite(v)) return;
        low = std::min(low, v);
        high = std::max(high, v);
    }
    // A range that shows its data with a little air; a flat or empty one is
    // widened so that the axis still has ticks.
    Range padded(double fraction) const {
        Range r = *this;
        if (!(r.low <= r.high)) return {0.0, 1.0};
        if (r.low == r.high) {
            const double half = r.low == 0.0 ? 1.0 : std::fabs(r.low) * 0.05;
            return {r.low - half, r.high + half};
        }
        const double air = (r.high - r.low) * fraction;
        return {r.low - air, r.high + air};
    }
};

// A series with more points than the picture has columns is thinned to the
// lowest and highest value of each column, in their order: the drawn envelope
// is the same and the SVG stays small.
void thin(const Series& s, std::size_t columns, std::vector<PLFLT>& x, std::vector<PLFLT>& y) {
    x.clear();
    y.clear();
    const std::size_t n = std::min(s.x.size(), s.y.size());
    if (n <= 2 * columns) {
        x.assign(s.x.begin(), s.x.begin() + static_cast<std::ptrdiff_t>(n));
        y.assign(s.y.begin(), s.y.begin() + static_cast<std::ptrdiff_t>(n));
        return;
    }
    const std::size_t per = (n + columns - 1) / columns;
    for (std::size_t start = 0; start < n; start += per) {
        const std::size_t end = std::min(n, start + per);
        std::size_t lo = start, hi = start;
        for (std::size_t i = start; i < end; ++i) {
            if (s.y[i] < s.y[lo] || std::isnan(s.y[i])) lo = i;
            if (s.y[i] > s.y[hi]) hi = i;
        }
        const std::size_t first = std::min(lo, hi), second = std::max(lo, hi);
        x.push_back(s.x[first]);
        y.push_back(s.y[first]);
        if (second != first) {
            x.push_back(s.x[second]);
            y.push_back(s.y[second]);
        }
    }
}

// Draws the finite stretches of a line; a NaN or infinity leaves a gap.
void drawLine(const std::vector<PLFLT>& x, const std::vector<PLFLT>& y) {
    std::size_t i = 0;
    while (i < x.size()) {
        while (i < x.size() && !(std::isfinite(x[i]) && std::isfinite(y[i]))) ++i;
        std::size_t j = i;
        while (j < x.size() && std::isfinite(x[j]) && std::isfinite(y[j])) ++j;
        if (j - i >= 2) plline(static_cast<PLINT>(j - i), x.data() + i, y.data() + i);
        i = j;
    }
}

void drawPanel(const Chart& chart, std::size_t columns, std::size_t rows) {
    Range xr, yr;
    for (const Series& s : chart.series) {
        for (double v : s.x) xr.take(v);
        for (double v : s.y) yr.take(v);
    }
    const Range xs = xr.padded(0.0);
    const Range ys = yr.padded(0.06);

    pladv(0);
    // Room on the right for the legend, below for the axis label.
    plvpor(0.07, 0.72, 0.16, 0.88);
    plwind(xs.low, xs.high, ys.low, ys.high);

    plwidth(1.0);
    plcol0(kGrid);
    pllsty(1);
    plbox("g", chart.xTick, 0, "g", 0.0, 0);

    // A dashed series too long and wiggly for dashes to read is drawn solid
    // and pale instead, in the legend too.
    std::vector<bool> pale(chart.series.size(), false);
    std::vector<PLFLT> x, y;
    plwidth(2.2);
    for (std::size_t k = 0; k < chart.series.size(); ++k) {
        const Series& s = chart.series[k];
        thin(s, columns, x, y);
        pale[k] = s.dashed && pathLength(x, y, static_cast<double>(columns) / (xs.high - xs.low),
                                         0.72 * static_cast<double>(rows) / (ys.high - ys.low)) >
                                  8.0 * static_cast<double>(columns);
        plcol0(seriesColour(s.colour >= 0 ? static_cast<std::size_t>(s.colour) : k, pale[k]));
        pllsty(s.dashed && !pale[k] ? 2 : 1);
        drawLine(x, y);
    }
    pllsty(1);

    plwidth(1.0);
    plcol0(kInk);
    plbox("bcnst", chart.xTick, chart.xTick > 0 ? 4 : 0, "bcnstv", 0.0, 0);
    plmtex("b", 2.8, 0.5, 0.5, chart.xLabel.c_str());
    plmtex("l", 4.2, 0.5, 0.5, chart.yLabel.c_str());
    plschr(0.0, 1.15);
    plmtex("t", 1.2, 0.0, 0.0, chart.title.c_str());
    plschr(0.0, 1.0);

    if (chart.series.empty()) return;
    const PLINT n = static_cast<PLINT>(chart.series.size());
    std::vector<PLINT> options(n, PL_LEGEND_LINE), colours(n), styles(n, 1), none(n, 0), ink(n, kInk);
    std::vector<PLFLT> widths(n, 2.2), scales(n, 1.0);
    std::vector<const char*> texts(n), symbols(n, "");
    for (PLINT k = 0; k < n; ++k) {
        const int c = chart.series[k].colour;
        const std::size_t at = static_cast<std::size_t>(k);
        colours[k] = seriesColour(static_cast<std::size_t>(c >= 0 ? c : k), pale[at]);
        styles[k] = chart.series[k].dashed && !pale[at] ? 2 : 1;
        texts[k] = chart.series[k].label.c_str();
    }
    PLFLT legendWidth = 0, legendHeight = 0;
    pllegend(&legendWidth, &legendHeight, PL_LEGEND_BACKGROUND, PL_POSITION_RIGHT | PL_POSITION_OUTSIDE, 0.02, 0.0,
             0.06, kBackground, kInk, 1, 0, 0, n, options.data(), 0.7, 0.9, 2.0, 0.0, ink.data(), texts.data(), nullptr,
             nullptr, nullptr, nullptr, colours.data(), styles.data(), widths.data(), colours.data(), scales.data(),
             none.data(), symbols.data());
}

// PLplot reports fatal errors by ending the process; the figure checks what it
// can beforehand (driver present, directory writable), so that a failure is
// reported as a line instead.
bool driverAvailable(const char* name) {
    int count = 64;
    std::vector<const char*> menuList(static_cast<std::size_t>(count)), deviceList(static_cast<std::size_t>(count));
    const char** menus = menuList.data();
    const char** devices = deviceList.data();
    plgDevs(&menus, &devices, &count);
    for (int k = 0; k < count; ++k)
        if (devices[k] && std::strcmp(devices[k], name) == 0) return true;
    return false;
}

std::string writeOne(const std::vector<Chart>& panels, const std::string& path, const char* device, int width,
                     int heightPerPanel) {
    if (!driverAvailable(device))
        return "cannot write " + path + ": the PLplot driver '" + device + "' is not installed (plplot-driver-cairo)";
    const std::string aside = path + ".part-" + std::to_string(::getpid());
    {
        std::FILE* probe = std::fopen(aside.c_str(), "wb");
        if (!probe) return "cannot write " + aside + ": " + std::strerror(errno);
        std::fclose(probe);
    }

    PLINT previous = 0, stream = 0;
    plgstrm(&previous);
    plmkstrm(&stream);
    plsdev(device);
    plsfnam(aside.c_str());
    plspage(0.0, 0.0, width, heightPerPanel * static_cast<int>(panels.size()), 0, 0);
    setPalette();
    plinit();
    plfontld(0);
    plssub(1, static_cast<PLINT>(panels.size()));
    // The plot box spans about 0.65 of the width (see drawPanel).
    const std::size_t columns = static_cast<std::size_t>(std::max(width * 65 / 100, 1));
    for (const Chart& chart : panels) drawPanel(chart, columns, static_cast<std::size_t>(heightPerPanel));
    plend1();
    plsstrm(previous);

    if (std::rename(aside.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        std::remove(aside.c_str());
        return "cannot rename " + aside + " to " + path + ": " + reason;
    }
    return {};
}

}  // namespace

std::string writeFigure(const std::vector<Chart>& panels, const std::string& basePath, int widthPixels,
                        int heightPixelsPerPanel) {
    if (panels.empty()) return "cannot write " + basePath + ": a figure needs at least one panel";
    if (widthPixels < 100 || heightPixelsPerPanel < 100)
        return "cannot write " + basePath + ": a figure needs at least 100 x 100 pixels per panel";
    for (const Chart& chart : panels)
        for (const Series& s : chart.series)
            if (s.x.size() != s.y.size())
                return "cannot write " + basePath + ": series '" + s.label + "' has " + std::to_string(s.x.size()) +
                       " x values but " + std::to_string(s.y.size()) + " y values";

    std::string error = writeOne(panels, basePath + ".png", "pngcairo", widthPixels, heightPixelsPerPanel);
    if (error.empty()) error = writeOne(panels, basePath + ".svg", "svg", widthPixels, heightPixelsPerPanel);
    return error;
}

}  // namespace pcm::plot

// LeakSanitizer asks this hook, when a program has one, for leaks not to
// report.  Fontconfig, reached through PLplot's cairo driver and pango, keeps
// its font caches for the life of the process by design; every program that
// draws a figure would otherwise fail its leak check at exit.  Without the
// sanitizer nothing calls either hook; the second keeps the sanitizer from
// listing the suppression on standard error at every exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
