#include "ChartContrast.h"

#include <algorithm>
#include <cmath>

namespace ChartContrast {

double luminance(const QColor &colour)
{
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const QColor c = colour.toRgb();
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor &colour, const QColor &background, double least)
{
    if (!colour.isValid() || contrast(colour, background) >= least)
        return colour;
    const bool darken = luminance(background) > 0.18;
    const QColor end = darken ? QColor(Qt::black) : QColor(Qt::white);
    const QColor from = colour.toRgb();
    // Mixed towards black or white in small steps: the first mix that reads keeps most of the
    // hue.
    for (int step = 1; step <= 20; ++step) {
        const double t = step / 20.0;
        const QColor mixed =
            QColor::fromRgbF(float(from.redF() + (end.redF() - from.redF()) * t),
                             float(from.greenF() + (end.greenF() - from.greenF()) * t),
                             float(from.blueF() + (end.blueF() - from.blueF()) * t));
        // As eight bits a channel, the way it is painted and compared.
        const QColor painted(mixed.rgb());
        if (contrast(painted, background) >= least)
            return painted;
    }
    return end;
}

} // namespace ChartContrast
