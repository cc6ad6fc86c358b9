#include "LogUndoCommands.h"

#include <utility>

TLogChangeCommand::TLogChangeCommand(TChargeLogDocument *document, const QString &text,
                                     TChargeLogChange change)
    : QUndoCommand(text), m_document(document), m_change(std::move(change))
{
}

void TLogChangeCommand::undo()
{
    TChargeLog &log = m_document->log();
    m_document->runUndoStep([&] { m_change.undo(log); }, [&] { m_change.redo(log); }, true,
                            [this](TChargeLog &other) { m_change.redo(other.ChargeStringList); });
}

void TLogChangeCommand::redo()
{
    if (std::exchange(m_done, false))
        return;
    TChargeLog &log = m_document->log();
    m_document->runUndoStep([&] { m_change.redo(log); }, [&] { m_change.undo(log); }, false,
                            [this](TChargeLog &other) { m_change.undo(other.ChargeStringList); });
}

TSeriesColourCommand::TSeriesColourCommand(TChargeLogDocument *document, const QString &text,
                                           TChargeLogDocument::Series series, qint32 oldColour,
                                           qint32 newColour)
    : QUndoCommand(text), m_document(document), m_series(series), m_oldColour(oldColour),
      m_newColour(newColour)
{
}

void TSeriesColourCommand::undo()
{
    m_document->runUndoStep([this] { m_document->applySeriesColour(m_series, m_oldColour); },
                            [this] { m_document->applySeriesColour(m_series, m_newColour); }, true);
}

void TSeriesColourCommand::redo()
{
    if (std::exchange(m_done, false))
        return;
    m_document->runUndoStep([this] { m_document->applySeriesColour(m_series, m_newColour); },
                            [this] { m_document->applySeriesColour(m_series, m_oldColour); },
                            false);
}
