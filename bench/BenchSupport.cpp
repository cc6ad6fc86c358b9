#include "BenchSupport.h"

#include <algorithm>

namespace BenchSupport {

namespace {

bool readCount(const QString &text, int &count)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0)
        return false;
    count = value;
    return true;
}

} // namespace

Options parseOptions(const QStringList &arguments)
{
    Options options;
    bool sizesGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const int left = int(arguments.size()) - i - 1;
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.mode = Options::Mode::Help;
        } else if (argument == QLatin1String("--quick")) {
            options.sizes = {1000};
        } else if (argument == QLatin1String("--records")) {
            int count = 0;
            if (left < 1 || !readCount(arguments.at(i + 1), count) || count == 0) {
                options.error = QStringLiteral("--records needs a positive number of charges");
                return options;
            }
            // Given again, it adds a size: the growth from one to the next is then measured too.
            if (sizesGiven)
                options.sizes.append(count);
            else
                options.sizes = {count};
            sizesGiven = true;
            ++i;
        } else if (argument == QLatin1String("--generate")) {
            if (left < 2 || !readCount(arguments.at(i + 1), options.count)) {
                options.error = QStringLiteral("--generate needs a number of charges and a file");
                return options;
            }
            options.mode = Options::Mode::Generate;
            options.file = arguments.at(i + 2);
            i += 2;
        } else if (argument == QLatin1String("--measure-file")) {
            if (left < 1) {
                options.error = QStringLiteral("--measure-file needs a file");
                return options;
            }
            options.mode = Options::Mode::MeasureFile;
            options.file = arguments.at(i + 1);
            ++i;
        } else if (argument == QLatin1String("--measure-memory")) {
            if (left < 1) {
                options.error = QStringLiteral("--measure-memory needs a file");
                return options;
            }
            options.mode = Options::Mode::MeasureMemory;
            options.file = arguments.at(i + 1);
            ++i;
        } else {
            options.error = QStringLiteral("Unknown argument: %1").arg(argument);
            return options;
        }
    }
    return options;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: qorlog_bench [--records N [--records M ...] | --quick]\n"
        "       qorlog_bench --generate N FILE\n"
        "Prints one figure per line as \"name value unit\" for logs of 1,000, 10,000 and\n"
        "100,000 charges (or N; --quick: 1,000 only), then each target as\n"
        "\"target name value <= limit unit (rule) met|MISSED\", its limit taken from the\n"
        "baselines of the same run. Each size runs in a fresh process; the memory is\n"
        "measured in one more (peak_rss_mb: its peak; log_memory_mb: the peak beyond\n"
        "that of the same process with an empty log).\n");
}

QString formatFigure(const Figure &figure)
{
    // QString::number ignores the locale: always a full stop and no grouping, for scripts.
    const int decimals = figure.value >= 100.0 ? 0 : (figure.value >= 10.0 ? 1 : 2);
    QString number = QString::number(figure.value, 'f', decimals);
    if (number.startsWith(QLatin1Char('-')) && number.toDouble() == 0.0)
        number.remove(0, 1);
    return figure.name + QLatin1Char(' ') + number + QLatin1Char(' ') + figure.unit;
}

QList<Target> targets()
{
    return {
        {QStringLiteral("load_ms"), 0.5, QStringLiteral("xmllint_ms")},
        {QStringLiteral("open_ms"), 0.7, QStringLiteral("xmllint_ms")},
        {QStringLiteral("save_ms"), 1.5, QStringLiteral("copy_ms")},
        {QStringLiteral("add_ms"), 2.0, QStringLiteral("copy_ms"), 1.0,
         QStringLiteral("refresh_ms")},
        {QStringLiteral("refresh_ms"), 0, {}, 0, {}, 10.0},
        {QStringLiteral("chart_500_ms"), 0, {}, 0, {}, 5.0},
        {QStringLiteral("overview_refresh_500_ms"), 0, {}, 0, {}, 20.0},
        {QStringLiteral("log_memory_mb"), 2.0, QStringLiteral("file_mb")},
        {QStringLiteral("delete_all_ms"), 0, {}, 0, {}, 100.0},
        {QStringLiteral("purge_all_ms"), 0, {}, 0, {}, 100.0},
        {QStringLiteral("undo_delete_all_ms"), 0, {}, 0, {}, 100.0},
        {QStringLiteral("undo_purge_all_ms"), 0, {}, 0, {}, 100.0},
        // A lab's log of a million charges: open in two seconds, every change saved close to
        // the disk's own speed, no more memory than the file takes.
        {QStringLiteral("open_ms"), 0, {}, 0, {}, 2000.0, 1000000},
        {QStringLiteral("open_ms"), 0.15, QStringLiteral("xmllint_ms"), 0, {}, 0, 1000000},
        // The first change beside the copy made just before it, in the same state of memory.
        {QStringLiteral("change_first_ms"),
         1.5,
         QStringLiteral("copy_sync_first_ms"),
         0,
         {},
         0,
         1000000},
        {QStringLiteral("change_add_ms"), 1.5, QStringLiteral("copy_sync_ms"), 0, {}, 0, 1000000},
        {QStringLiteral("change_edit_ms"), 1.5, QStringLiteral("copy_sync_ms"), 0, {}, 0, 1000000},
        {QStringLiteral("change_delete_one_ms"),
         1.5,
         QStringLiteral("copy_sync_ms"),
         0,
         {},
         0,
         1000000},
        {QStringLiteral("change_delete_10000_ms"),
         1.5,
         QStringLiteral("copy_sync_ms"),
         0,
         {},
         0,
         1000000},
        {QStringLiteral("change_undo_ms"), 1.5, QStringLiteral("copy_sync_ms"), 0, {}, 0, 1000000},
        {QStringLiteral("change_merge_ms"), 1.5, QStringLiteral("copy_sync_ms"), 0, {}, 0, 1000000},
        {QStringLiteral("longest_frame_in_change_ms"), 0, {}, 0, {}, 100.0, 1000000},
        {QStringLiteral("log_memory_mb"), 1.0, QStringLiteral("file_mb"), 0, {}, 0, 1000000},
        // What a program calling over the bus waits for, up to 100,000 charges.
        {QStringLiteral("bus_add_first_ms"), 0, {}, 0, {}, 100.0, 0, 100000},
        {QStringLiteral("bus_add_ms"), 0, {}, 0, {}, 100.0, 0, 100000},
    };
}

QStringList targetLines(const QList<Figure> &figures, int charges)
{
    const auto find = [&figures](const QString &name) -> const Figure * {
        for (const Figure &figure : figures)
            if (figure.name == name)
                return &figure;
        return nullptr;
    };
    QStringList lines;
    for (const Target &target : targets()) {
        const bool bounded = target.minCharges > 0 || target.maxCharges > 0;
        if (bounded && (charges < 0 || charges < target.minCharges ||
                        (target.maxCharges > 0 && charges > target.maxCharges)))
            continue;
        const Figure *figure = find(target.figure);
        const Figure *base = target.baseline.isEmpty() ? nullptr : find(target.baseline);
        const Figure *base2 = target.baseline2.isEmpty() ? nullptr : find(target.baseline2);
        if (!figure || (!target.baseline.isEmpty() && !base) ||
            (!target.baseline2.isEmpty() && !base2))
            continue;
        double limit = target.constant;
        QStringList rule;
        if (base) {
            limit += target.factor * base->value;
            rule << QString::number(target.factor) + QStringLiteral(" x ") + base->name;
        }
        if (base2) {
            limit += target.factor2 * base2->value;
            rule << QString::number(target.factor2) + QStringLiteral(" x ") + base2->name;
        }
        if (target.constant != 0.0 || rule.isEmpty())
            rule << QString::number(target.constant) + QLatin1Char(' ') + figure->unit;
        const Figure shownLimit{QString(), limit, figure->unit};
        lines << QStringLiteral("target %1 %2 <=%3 (%4) %5")
                     .arg(figure->name,
                          formatFigure({QString(), figure->value, QString()}).trimmed(),
                          formatFigure(shownLimit), rule.join(QStringLiteral(" + ")),
                          figure->value <= limit ? QStringLiteral("met")
                                                 : QStringLiteral("MISSED"));
    }
    return lines;
}

QStringList growthLines(const QList<SizeFigures> &sizes)
{
    constexpr double Limit = 11.0;
    QStringList lines;
    for (const SizeFigures &small : sizes) {
        for (const SizeFigures &big : sizes) {
            if (small.charges <= 0 || big.charges != 10 * small.charges)
                continue;
            for (const Figure &before : small.figures) {
                if (before.value < 1.0)
                    continue;
                for (const Figure &after : big.figures) {
                    if (after.name != before.name)
                        continue;
                    const double ratio = after.value / before.value;
                    lines << QStringLiteral("target growth_%1 %2 <= %3 x (%4 to %5 charges) %6")
                                 .arg(before.name,
                                      formatFigure({QString(), ratio, QString()}).trimmed(),
                                      QString::number(Limit), QString::number(small.charges),
                                      QString::number(big.charges),
                                      ratio <= Limit ? QStringLiteral("met")
                                                     : QStringLiteral("MISSED"));
                    break;
                }
            }
        }
    }
    return lines;
}

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    if (values.size() % 2 == 1)
        return values.at(middle);
    return (values.at(middle - 1) + values.at(middle)) / 2.0;
}

double peakResidentMiB(const QByteArray &procStatus)
{
    for (const QByteArray &line : procStatus.split('\n')) {
        if (!line.startsWith("VmHWM:"))
            continue;
        const QList<QByteArray> parts = line.mid(6).simplified().split(' ');
        bool ok = false;
        const double kib = parts.value(0).toDouble(&ok);
        if (!ok || kib < 0)
            return -1.0;
        return kib / 1024.0;
    }
    return -1.0;
}

bool parseFigure(const QString &line, Figure &figure)
{
    const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return false;
    bool ok = false;
    const double value = parts.at(1).toDouble(&ok);
    if (!ok)
        return false;
    figure = {parts.at(0), value, parts.at(2)};
    return true;
}

} // namespace BenchSupport
