#pragma once

#include "ChargeLog.h"
#include "LogReadParts.h"

#include <string>

// Reads charges laid out exactly as a save writes them straight from the file's bytes, a few
// times faster than the XML parser: the same tags in the same order with the same line breaks
// and indentation, texts of plain characters and the references a save writes. It takes only
// bytes whose meaning to the parser is beyond doubt, and stops before anything else (a charge
// written another way, a reference of another kind, a carriage return, a stray ">"), which the
// parser then reads; a charge it takes reads exactly as the parser would read it.
class TWrittenChargeScanner
{
public:
    // Appends to `log`, whose name lists take the names as they come. `decimalPoint` is the one
    // a save would write numbers with now.
    TWrittenChargeScanner(TChargeLog &log, char decimalPoint);

    enum class Result
    {
        Charge,     // a charge was appended and `from` moved past it
        ChargesEnd, // `from` is at the end tag of the charges ("\n  </Charges>")
        NeedMore,   // the bytes end before it is clear what comes
        Other       // anything else: left to the parser
    };
    // Looks at what starts at `from` (before `end`).
    Result next(const char *&from, const char *end);
    // Of the charge last appended: whether its bytes are exactly what a save writes for it,
    // and how many bytes it took.
    bool lastAsSaved() const { return m_asSaved; }
    qint32 lastLength() const { return m_lastLength; }

    // The start of a written charge and the end of the charges.
    static constexpr const char ChargeStart[] = "\n    <Charge>";
    static constexpr const char ChargesEnd[] = "\n  </Charges>";

private:
    enum class Step
    {
        Done,
        NeedMore,
        Other
    };
    // The literal `bytes` at `p`, moved past.
    static Step literal(const char *&p, const char *end, const char *bytes, size_t length);
    // The text of a leaf element up to its end tag `endTag`, decoded into `out`.
    Step leaf(const char *&p, const char *end, const char *startTag, size_t startLength,
              const char *endTag, size_t endLength, std::string &out);
    Step text(const char *&p, const char *end, std::string &out);

    bool writtenAsIs(double value, const std::string &text) const;

    TChargeLog &m_log;
    const char m_decimalPoint;
    bool m_asSaved = false;
    qint32 m_lastLength = 0;
    LogReadParts::NameCache m_powerSources, m_chargers, m_batteries, m_terminations;
    // The fields' texts as read: date-time, the names and numbers, the termination.
    std::string m_texts[7];
    std::string m_text, m_comment, m_id, m_changed, m_joined;
};
