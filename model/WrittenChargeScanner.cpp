#include "WrittenChargeScanner.h"

#include "NumberText.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

using namespace LogReadParts;

namespace {

// A leaf element's tags as a save writes them inside a charge.
struct Tags
{
    const char *Start;
    size_t StartLength;
    const char *End;
    size_t EndLength;
};
#define QORLOG_LEAF(name)                                                                          \
    Tags                                                                                           \
    {                                                                                              \
        "\n      <" name ">", sizeof("\n      <" name ">") - 1, "</" name ">",                     \
            sizeof("</" name ">") - 1                                                              \
    }
const Tags DateTimeTags = QORLOG_LEAF("DateTime");
const Tags PowerSourceTags = QORLOG_LEAF("PowerSource");
const Tags ChargerTags = QORLOG_LEAF("Charger");
const Tags BatteryTags = QORLOG_LEAF("Battery");
const Tags AmpsTags = QORLOG_LEAF("NominalChargeAmps");
const Tags AmpHoursTags = QORLOG_LEAF("AmpHours");
const Tags TerminationTags = QORLOG_LEAF("Termination");
const Tags CommentTags = QORLOG_LEAF("Comment");
const Tags LogFileTags = QORLOG_LEAF("ChargerLogFileName");
const Tags IdTags = QORLOG_LEAF("Id");
const Tags ChangedTags = QORLOG_LEAF("Changed");
#undef QORLOG_LEAF
constexpr char ChargeEnd[] = "\n    </Charge>";

// The references a save writes, and what they stand for.
struct Reference
{
    const char *Text;
    size_t Length;
    char Stands;
};
const Reference References[] = {{"&lt;", 4, '<'},   {"&gt;", 4, '>'},    {"&amp;", 5, '&'},
                                {"&quot;", 6, '"'}, {"&apos;", 6, '\''}, {"&#13;", 5, '\r'}};

// The length of the UTF-8 sequence at `p` if it is one character XML allows (none of the
// surrogates, U+FFFE or U+FFFF), 0 if it is not, -1 if the bytes end before it does.
int characterLength(const unsigned char *p, const unsigned char *end)
{
    const unsigned char lead = p[0];
    int length;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (end - p < length)
        return -1;
    if (p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    if (lead == 0xEF && p[1] == 0xBF && p[2] >= 0xBE)
        return 0; // U+FFFE, U+FFFF
    return length;
}

// Whether an id stands as a save writes it: 36 characters of lower-case hexadecimal digits
// and four dashes.
bool idAsWritten(const std::string &text)
{
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

} // namespace

bool TWrittenChargeScanner::writtenAsIs(double value, const std::string &text) const
{
    char written[48];
    const int length = NumberText::formatExact(value, m_decimalPoint, written);
    return size_t(length) == text.size() && std::memcmp(written, text.data(), text.size()) == 0;
}

TWrittenChargeScanner::TWrittenChargeScanner(TChargeLog &log, char decimalPoint)
    : m_log(log), m_decimalPoint(decimalPoint), m_powerSources(log.PowerSourcesStringList),
      m_chargers(log.ChargersStringList), m_batteries(log.BatteriesStringList),
      m_terminations(log.TerminationsStringList)
{
}

TWrittenChargeScanner::Step TWrittenChargeScanner::literal(const char *&p, const char *end,
                                                           const char *bytes, size_t length)
{
    const size_t there = size_t(end - p);
    if (there < length)
        return std::memcmp(p, bytes, there) == 0 ? Step::NeedMore : Step::Other;
    if (std::memcmp(p, bytes, length) != 0)
        return Step::Other;
    p += length;
    return Step::Done;
}

TWrittenChargeScanner::Step TWrittenChargeScanner::text(const char *&p, const char *end,
                                                        std::string &out)
{
    out.clear();
    const char *run = p; // plain bytes not yet in `out`
    for (;;) {
        if (p == end)
            return Step::NeedMore;
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x80) {
            const int length = characterLength(reinterpret_cast<const unsigned char *>(p),
                                               reinterpret_cast<const unsigned char *>(end));
            if (length <= 0)
                return length < 0 ? Step::NeedMore : Step::Other;
            p += length;
            continue;
        }
        if (c >= 0x20 && c != '<' && c != '&' && c != '>') {
            if (c == '"')
                m_asSaved = false; // a save writes a reference for it
            ++p;
            continue;
        }
        if (c == '\t' || c == '\n') {
            ++p;
            continue;
        }
        out.append(run, size_t(p - run));
        if (c == '<')
            return Step::Done;
        if (c != '&')
            return Step::Other; // a carriage return, another control character, a stray ">"
        const size_t there = size_t(end - p);
        const Reference *found = nullptr;
        for (const Reference &reference : References) {
            if (std::memcmp(p, reference.Text, std::min(there, reference.Length)) != 0)
                continue;
            if (there < reference.Length)
                return Step::NeedMore;
            found = &reference;
            break;
        }
        if (!found)
            return Step::Other;
        if (found->Stands == '\'')
            m_asSaved = false; // a save writes the character itself
        out += found->Stands;
        p += found->Length;
        run = p;
    }
}

TWrittenChargeScanner::Step TWrittenChargeScanner::leaf(const char *&p, const char *end,
                                                        const char *startTag, size_t startLength,
                                                        const char *endTag, size_t endLength,
                                                        std::string &out)
{
    Step step = literal(p, end, startTag, startLength);
    if (step == Step::Done)
        step = text(p, end, out);
    if (step == Step::Done)
        step = literal(p, end, endTag, endLength);
    return step;
}

TWrittenChargeScanner::Result TWrittenChargeScanner::next(const char *&from, const char *end)
{
    const auto resultOf = [](Step step) {
        return step == Step::NeedMore ? Result::NeedMore : Result::Other;
    };
    const char *p = from;
    const Step start = literal(p, end, ChargeStart, sizeof ChargeStart - 1);
    if (start != Step::Done) {
        const char *q = from;
        const Step last = literal(q, end, ChargesEnd, sizeof ChargesEnd - 1);
        if (last == Step::Done)
            return Result::ChargesEnd;
        return start == Step::NeedMore || last == Step::NeedMore ? Result::NeedMore : Result::Other;
    }
    m_asSaved = true;
    // The fields' texts, each decoded into a buffer of its own; nothing joins the log before
    // the whole charge has been seen.
    static const Tags *const fields[] = {&DateTimeTags,    &PowerSourceTags, &ChargerTags,
                                         &BatteryTags,     &AmpsTags,        &AmpHoursTags,
                                         &TerminationTags, &CommentTags,     &LogFileTags};
    std::string *const texts[] = {&m_texts[0], &m_texts[1], &m_texts[2], &m_texts[3], &m_texts[4],
                                  &m_texts[5], &m_texts[6], &m_comment,  &m_text};
    for (size_t i = 0; i < std::size(fields); ++i) {
        const Tags &tags = *fields[i];
        const Step step =
            leaf(p, end, tags.Start, tags.StartLength, tags.End, tags.EndLength, *texts[i]);
        if (step != Step::Done)
            return resultOf(step);
    }
    // The identity, when the charge has one, then the end tag.
    bool identified = false;
    {
        const char *q = p;
        const Step closed = literal(q, end, ChargeEnd, sizeof ChargeEnd - 1);
        if (closed == Step::Done) {
            p = q;
        } else {
            Step step =
                leaf(p, end, IdTags.Start, IdTags.StartLength, IdTags.End, IdTags.EndLength, m_id);
            if (step == Step::Done)
                step = leaf(p, end, ChangedTags.Start, ChangedTags.StartLength, ChangedTags.End,
                            ChangedTags.EndLength, m_changed);
            if (step == Step::Done)
                step = literal(p, end, ChargeEnd, sizeof ChargeEnd - 1);
            if (step != Step::Done)
                return closed == Step::NeedMore || step == Step::NeedMore ? Result::NeedMore
                                                                          : Result::Other;
            identified = true;
        }
    }

    TChargeEntry entry;
    TChargeRecord &record = entry.Record;
    const char *const chargeStart = from;
    try {
        record.DateTime = readFloat(m_texts[0]);
        record.NominalChargeAmps = readFloat(m_texts[4]);
        record.AmpHours = readFloat(m_texts[5]);
    } catch (const QorLogError &) {
        return Result::Other; // the parser reports it
    }
    if (identified) {
        entry.Id = readId(m_id);
        try {
            entry.Changed = readFloat(m_changed);
        } catch (const QorLogError &) {
            entry.Changed = 0; // bookkeeping only: a time that is none counts as not known
        }
    }
    bool exact[4];
    record.PowerSourceIndex = m_powerSources.indexOf(m_texts[1], &exact[0]);
    record.ChargerIndex = m_chargers.indexOf(m_texts[2], &exact[1]);
    record.BatteryIndex = m_batteries.indexOf(m_texts[3], &exact[2]);
    record.TerminationIndex = m_terminations.indexOf(m_texts[6], &exact[3]);
    m_asSaved = m_asSaved && exact[0] && exact[1] && exact[2] && exact[3];
    record.Key = m_log.NextKey++;
    // The entry text "chargerlogfile*comment"; a "*" in the file name would split it wrongly.
    m_joined.clear();
    for (const char c : m_text)
        if (c != '*')
            m_joined += c;
    m_joined += '*';
    m_joined += m_comment;
    entry.Text = textOfUtf8(m_joined.data(), qsizetype(m_joined.size()));
    // Whether a save writes this very charge as it stands: then its bytes can be copied.
    if (m_asSaved)
        m_asSaved =
            m_text.find('*') == std::string::npos && writtenAsIs(record.DateTime, m_texts[0]) &&
            writtenAsIs(record.NominalChargeAmps, m_texts[4]) &&
            writtenAsIs(record.AmpHours, m_texts[5]) &&
            (identified
                 ? !entry.Id.isNull() && idAsWritten(m_id) && writtenAsIs(entry.Changed, m_changed)
                 : true);
    m_log.ChargeStringList.append(std::move(entry));
    m_lastLength = qint32(std::min<ptrdiff_t>(p - chargeStart, std::numeric_limits<qint32>::max()));
    from = p;
    return Result::Charge;
}
