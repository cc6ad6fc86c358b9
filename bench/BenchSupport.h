#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

// The bench program's command line, figures and their text, apart from any measuring.
namespace BenchSupport {

struct Options
{
    enum class Mode
    {
        Measure,
        Generate,
        MeasureFile,
        MeasureMemory,
        Help
    };
    Mode mode = Mode::Measure;
    QList<int> sizes{1000, 10000, 100000}; // charges per measured log
    QString file;                          // --generate and the per-size child run
    int count = 0;                         // --generate
    QString error;                         // not empty: the command line was refused
};

// Parses the arguments after the program name:
//   (none)                  every size
//   --records N             only N charges (given again: each size given)
//   --quick                 1,000 charges only
//   --generate N FILE       write a log of N charges and exit
//   --measure-file FILE     measure one log in this process (what each size runs in)
//   --measure-memory FILE   the memory the window takes for one log (a child of the above)
Options parseOptions(const QStringList &arguments);
QString usageText();

// One measured figure, printed as "name value unit".
struct Figure
{
    QString name;
    double value = 0.0;
    QString unit;
};
QString formatFigure(const Figure &figure);

// The figures a run must reach, each against an absolute limit or against baselines of the same
// run: limit = factor x baseline (+ factor2 x baseline2) (+ constant).
struct Target
{
    QString figure;
    double factor = 0.0;
    QString baseline;
    double factor2 = 0.0;
    QString baseline2;
    double constant = 0.0;
    // The sizes of log the target holds for (0: any); a log of unknown size takes only the
    // targets for any size.
    int minCharges = 0;
    int maxCharges = 0;
};
QList<Target> targets();
// One line per target whose figures were all measured, as
// "target NAME VALUE <= LIMIT UNIT (RULE) met|MISSED", for a log of `charges` charges (-1:
// unknown).
QStringList targetLines(const QList<Figure> &figures, int charges = -1);

// The figures measured at each size of log, in the order measured.
struct SizeFigures
{
    int charges = 0;
    QList<Figure> figures;
};
// How far each figure grew from a size to the one ten times bigger, as
// "target growth_NAME RATIO <= 11 x (SMALL to BIG charges) met|MISSED" (linear growth is 10x;
// figures under 1 ms or 1 MB at the smaller size are left out, their ratio says nothing).
QStringList growthLines(const QList<SizeFigures> &sizes);

// The middle value (the mean of the middle two for an even count); 0 for none.
double median(QVector<double> values);

// VmHWM of a /proc/<pid>/status text in mebibytes, or -1 when it is not there.
double peakResidentMiB(const QByteArray &procStatus);

// A figure from its "name value unit" line; false for any other line.
bool parseFigure(const QString &line, Figure &figure);

} // namespace BenchSupport
