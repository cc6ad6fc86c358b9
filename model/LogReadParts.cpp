#include "LogReadParts.h"

#include "NumberText.h"

#include <QLocale>
#include <QStringDecoder>

#include <atomic>

#include <charconv>
#include <cmath>

namespace LogReadParts {

namespace {

// Where a text stands without the blanks and line breaks around it: [from, to).
void trimBlanks(const std::string &text, size_t &from, size_t &to)
{
    from = 0;
    to = text.size();
    while (from < to && isXmlBlank(text[from]))
        ++from;
    while (to > from && isXmlBlank(text[to - 1]))
        --to;
}

} // namespace

// UTF-8 text as it stands in an element. QString::fromUtf8 drops a byte order mark at the start
// of what it converts, but here U+FEFF is the first character of a name or a comment.
QString textOfUtf8(const char *data, qsizetype size)
{
    if (size >= 3 && uchar(data[0]) == 0xEF && uchar(data[1]) == 0xBB && uchar(data[2]) == 0xBF) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                         QStringDecoder::Flag::ConvertInitialBom);
        return decoder(QByteArrayView(data, size));
    }
    return QString::fromUtf8(data, size);
}

bool isXmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// An id as written ("xxxxxxxx-xxxx-..."; braces and blanks around it are taken too); null when
// the text is none.
QUuid readId(const std::string &text)
{
    size_t from, to;
    trimBlanks(text, from, to);
    return QUuid::fromString(QLatin1StringView(text.data() + from, qsizetype(to - from)));
}

// A number text as stored: blanks and line breaks around it do not count, so a number that a
// hand-edited file puts on a line of its own reads as on one line. Plain ASCII numbers (all a
// written log holds) are read here directly; anything else goes the general way, which also
// names the text in its error.
double readFloat(const std::string &text)
{
    size_t from, to;
    trimBlanks(text, from, to);
    char plain[64];
    size_t n = 0;
    size_t i = from;
    bool simple = to - from < sizeof plain;
    if (simple && i < to && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            plain[n++] = '-';
        ++i;
    }
    int digits = 0;
    for (; simple && i < to && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
        plain[n++] = text[i];
    if (simple && i < to && (text[i] == '.' || text[i] == ',')) {
        plain[n++] = '.';
        for (++i; i < to && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
            plain[n++] = text[i];
    }
    if (simple && digits > 0 && i < to && (text[i] == 'e' || text[i] == 'E')) {
        plain[n++] = 'e';
        ++i;
        if (i < to && (text[i] == '+' || text[i] == '-'))
            plain[n++] = text[i++];
        int exponentDigits = 0;
        for (; i < to && text[i] >= '0' && text[i] <= '9'; ++i, ++exponentDigits)
            plain[n++] = text[i];
        simple = exponentDigits > 0;
    }
    if (simple && digits > 0 && i == to) {
        double value = 0;
        const auto [end, error] = std::from_chars(plain, plain + n, value);
        // Zero, tiny and huge values take the general way, which decides on under- and
        // overflow.
        if (error == std::errc() && end == plain + n && std::fabs(value) >= 1e-300 &&
            std::isfinite(value))
            return value;
    }
    return NumberText::toFloat(QString::fromUtf8(text.data() + from, qsizetype(to - from)));
}

char numberDecimalPoint()
{
    return QLocale().decimalPoint() == QLatin1String(",") ? ',' : '.';
}

quint32 nextGeneration()
{
    static std::atomic<quint32> last{0};
    quint32 generation = ++last;
    while (generation == 0) // 0 stands for "never written"
        generation = ++last;
    return generation;
}

} // namespace LogReadParts
