#pragma once

// What the log's readers share, and with its writer: the texts, numbers, ids and names of a log
// file as its bytes give them, the decimal separator numbers are written with and the count of
// what was written.

#include "NameList.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUuid>

#include <string>

namespace LogReadParts {

// UTF-8 text as it stands in an element, a leading U+FEFF kept.
QString textOfUtf8(const char *data, qsizetype size);
bool isXmlBlank(char c);
// An id as written (braces and blanks around it are taken too); null when the text is none.
QUuid readId(const std::string &text);
// A number text as stored, blanks and line breaks around it left out. Throws QorLogError
// naming the text when it is no number.
double readFloat(const std::string &text);

// Numbers carry the user's decimal separator when it is one that every reader takes (a full
// stop or a comma); a locale with another one (Arabic, Persian) writes a full stop, so that the
// log still reads back after a change of regional settings.
char numberDecimalPoint();
// A number for the bytes of a file just written or read (never 0, which stands for "never
// written"): an entry whose place carries it has its bytes there.
quint32 nextGeneration();

// Looks names up by their bytes as they stand in the file: a log names the same few power
// sources, chargers, batteries and terminations over and over.
class NameCache
{
public:
    explicit NameCache(TNameList &list) : m_list(list) {}
    // The name's place in the list; `exact` (if given) tells whether the list holds it as it
    // stands, not only a name equal to it but for letter case.
    int indexOf(const std::string &text, bool *exact = nullptr)
    {
        const QByteArray key = QByteArray::fromRawData(text.data(), qsizetype(text.size()));
        auto found = m_indexes.constFind(key);
        if (found == m_indexes.constEnd()) {
            const QString name = textOfUtf8(key.constData(), key.size());
            const int index = m_list.findOrAppend(name);
            // The text is reused.
            found = m_indexes.insert(QByteArray(key.constData(), key.size()),
                                     {index, m_list.name(index) == name});
        }
        if (exact)
            *exact = found->Exact;
        return found->Index;
    }

private:
    struct Place
    {
        int Index;
        bool Exact;
    };
    TNameList &m_list;
    QHash<QByteArray, Place> m_indexes;
};

} // namespace LogReadParts
