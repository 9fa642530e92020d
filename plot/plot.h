// Line charts written as PNG and SVG with PLplot, for the runner's results and
// the verification report.
#pragma once

#include <string>
#include <vector>

namespace pcm::plot {

struct Series {
    std::string label;
    std::vector<double> x;
    std::vector<double> y;
    bool dashed = false;
    // Palette slot (0 to 9); -1 takes the series' position in its panel, so
    // that related series (two faces of one layer) can share a colour.
    int colour = -1;
};

// One panel of a figure.
struct Chart {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::vector<Series> series;
    // Distance between labelled x ticks, 0 for PLplot's own choice (a time
    // axis in hours reads best with a tick per day, 24).
    double xTick = 0;
};

// Writes the panels, stacked top to bottom, to basePath + ".png" and
// basePath + ".svg".  Each file is written aside and renamed into place, so it
// is whole or absent.  Returns an empty string on success, else one line that
// says what failed.
std::string writeFigure(const std::vector<Chart>& panels, const std::string& basePath, int widthPixels = 1200,
                        int heightPixelsPerPanel = 450);

}  // namespace pcm::plot
