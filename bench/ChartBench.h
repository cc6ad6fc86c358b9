#pragma once

// Milliseconds for one full rebuild of a three-series chart with the given number of categories
// (setPoints on every series) plus one paint into a 640x256 image. Needs a QApplication.
double measureChartRebuildAndPaintMs(int categories);
