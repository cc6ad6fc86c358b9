#pragma once

#include <QChar>
#include <QString>

// Access letters ("&File"): menus show them underlined, and Alt with the letter picks the entry.
namespace AccessLetters {

// The caption without its access letter ("&&" stays a plain "&"), for a button or a title that
// shares an action's text but must not take the menu bar's Alt keys.
inline QString stripped(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i) == QLatin1Char('&'))
            text.remove(i, 1); // the character after it (a second "&" too) stays and is skipped
    return text;
}

} // namespace AccessLetters
