#pragma once

#include <QColor>

// Legibility of coloured text: relative luminance and contrast ratio as the usual accessibility
// guidelines define them, and a colour of the same hue that stands out enough.
namespace ChartContrast {

// What normal text needs against its background (4.5:1).
constexpr double LeastTextContrast = 4.5;

double luminance(const QColor &colour);
double contrast(const QColor &a, const QColor &b);

// `colour` itself when it reaches `least` against `background`; else the same hue darkened (on
// a light background) or lightened (on a dark one) just as far as needed, and where even that
// cannot reach it, black or white.
QColor readableOn(const QColor &colour, const QColor &background, double least = LeastTextContrast);

} // namespace ChartContrast
