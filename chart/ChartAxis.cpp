#include "ChartAxis.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QtDebug>

#include <cmath>
#include <limits>

TChartAxisStyle::TChartAxisStyle() : gridPen(QColor(0x80, 0x80, 0x80), 0, Qt::DotLine)
{
    font.setPixelSize(11);
}

namespace ChartAxis {

double niceStep(double raw)
{
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double fraction = raw / magnitude;
    double nice = 10;
    if (fraction <= 1)
        nice = 1;
    else if (fraction <= 2)
        nice = 2;
    else if (fraction <= 2.5)
        nice = 2.5;
    else if (fraction <= 5)
        nice = 5;
    return nice * magnitude;
}

Scale niceScale(double low, double high, int wanted)
{
    Scale scale;
    if (!std::isfinite(low) || !std::isfinite(high) || high < low)
        return scale;
    const double step = niceStep((high - low) / std::max(wanted, 1));
    scale.step = step;
    scale.minimum = std::floor(low / step * (1 + 1e-12)) * step;
    if (low >= 0 && scale.minimum < 0)
        scale.minimum = 0;
    scale.count = int(std::max(1.0, std::ceil((high - scale.minimum) / step * (1 - 1e-12))));
    scale.maximum = scale.minimum + scale.count * step;
    return scale;
}

QVector<TChartTick> ticks(const Scale &scale, const QFont &font,
                          const std::function<QString(double)> &format,
                          const std::function<int(double)> &toPixel, bool vertical)
{
    QVector<TChartTick> result;
    const QFontMetrics fm(font);
    const int h = fm.height();
    int lastEdge = vertical ? std::numeric_limits<int>::max() : std::numeric_limits<int>::min();
    QString lastText;
    for (int i = 0; i <= scale.count; ++i) {
        TChartTick t;
        t.value = scale.minimum + i * scale.step;
        t.position = toPixel(t.value);
        t.text = formatWith(format, t.value);
        const int w = fm.horizontalAdvance(t.text);
        bool crowded = t.text == lastText;
        if (vertical) {
            const int top = t.position - h / 2;
            crowded = crowded || top + h > lastEdge;
            if (!crowded) {
                lastEdge = top;
                t.rect = QRect(0, top, w, h);
            }
        } else {
            const int left = t.position - w / 2;
            crowded = crowded || left < lastEdge;
            if (!crowded) {
                lastEdge = left + w + Gap;
                t.rect = QRect(left, 0, w, h);
            }
        }
        if (crowded)
            t.text.clear();
        else
            lastText = t.text;
        result.append(t);
    }
    return result;
}

QString defaultFormat(double value)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    if (!std::isfinite(value))
        return locale.toString(value);
    QString text = locale.toString(value, 'f', 3);
    // Each of these asks the system's locale anew; a chart formats hundreds of values.
    const QString point = locale.decimalPoint();
    const QString zero = locale.zeroDigit();
    if (text.contains(point)) {
        while (text.endsWith(zero))
            text.chop(zero.size());
        if (text.endsWith(point))
            text.chop(point.size());
    }
    if (text.endsWith(zero) && text == locale.negativeSign() + zero)
        return zero;
    return text;
}

QString formatWith(const std::function<QString(double)> &format, double value)
{
    if (format) {
        // The formatter is the owner's code; a failure in it must not take the painting down.
        try {
            return format(value);
        } catch (...) {
            qWarning("chart: value formatter failed; using the default format");
        }
    }
    return defaultFormat(value);
}

void drawTitle(QPainter &p, const QRect &band, bool left, const TChartAxisStyle &style)
{
    if (band.isNull() || style.title.isEmpty())
        return;
    p.save();
    p.setFont(style.font);
    p.setPen(style.titleColour);
    p.translate(band.center().x() + 1, band.center().y());
    p.rotate(left ? -90 : 90);
    p.drawText(QRect(-band.height() / 2, -band.width() / 2, band.height(), band.width()),
               Qt::AlignCenter, style.title);
    p.restore();
}

} // namespace ChartAxis
