#include "ChargerLog.h"

#include <algorithm>
#include <cmath>

namespace ChargerLog {

TDraftRecord draftRecord(const TChargerLog &log, const QDateTime &fileModified)
{
    TDraftRecord draft;
    const TChargerLogFigures f = figures(log);
    if (f.mainPhase == Phase::Unknown)
        return draft;
    draft.valid = true;
    draft.discharge = f.mainPhase == Phase::Discharge;
    const TPhaseFigures &phase = draft.discharge ? *f.discharge : *f.charge;
    draft.ampHours = draft.discharge ? -phase.ampHours() : phase.ampHours();
    // A log's time column may run for ages; the milliseconds are kept within what a number of
    // them can hold (some 30,000 years).
    const double durationMs = std::clamp(f.duration * 1000, 0.0, 1e15);
    draft.dateTime = f.start ? *f.start : fileModified.addMSecs(-qint64(durationMs));
    QVector<double> amps;
    for (qsizetype i = 0; i < log.current.size(); ++i)
        if (log.phases[i] == f.mainPhase && std::isfinite(log.current[i]))
            amps.append(std::fabs(log.current[i]));
    if (!amps.isEmpty()) {
        std::nth_element(amps.begin(), amps.begin() + amps.size() / 2, amps.end());
        draft.nominalAmps = std::round(amps[amps.size() / 2] * 10) / 10;
    }
    return draft;
}

} // namespace ChargerLog
