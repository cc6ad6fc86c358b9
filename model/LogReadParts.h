#pragma once

// What the log readers share: the texts, numbers, ids and names of a log file as its bytes
// give them.

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

// Looks names up by their bytes as they stand in the file: a log names the same few power
// sources, chargers, batteries and terminations over and over.
class NameCache
{
public:
    explicit NameCache(TNameList &list) : m_list(list) {}
    int indexOf(const std::string &text)
    {
        const QByteArray key = QByteArray::fromRawData(text.data(), qsizetype(text.size()));
        const auto found = m_indexes.constFind(key);
        if (found != m_indexes.constEnd())
            return *found;
        const int index = m_list.findOrAppend(textOfUtf8(key.constData(), key.size()));
        m_indexes.insert(QByteArray(key.constData(), key.size()), index); // the text is reused
        return index;
    }

private:
    TNameList &m_list;
    QHash<QByteArray, int> m_indexes;
};

} // namespace LogReadParts
