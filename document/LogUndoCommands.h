#pragma once

#include "ChargeLogChange.h"
#include "ChargeLogDocument.h"

#include <QUndoCommand>

// The undo steps of the log. Each is pushed after its change has been made and saved (the
// first redo, which QUndoStack::push runs, does nothing); later undos and redos go through
// TChargeLogDocument::runUndoStep: the change, then an atomic save, taken back if that fails.

// A change of the charge list: an add, an edit, a deletion, an import, a restore or another
// program's change.
class TLogChangeCommand : public QUndoCommand
{
public:
    TLogChangeCommand(TChargeLogDocument *document, const QString &text, TChargeLogChange change);
    void undo() override;
    void redo() override;

private:
    TChargeLogDocument *m_document;
    TChargeLogChange m_change;
    bool m_done = true;
};

// A new colour of one chart series.
class TSeriesColourCommand : public QUndoCommand
{
public:
    TSeriesColourCommand(TChargeLogDocument *document, const QString &text,
                         TChargeLogDocument::Series series, qint32 oldColour, qint32 newColour);
    void undo() override;
    void redo() override;

private:
    TChargeLogDocument *m_document;
    TChargeLogDocument::Series m_series;
    qint32 m_oldColour;
    qint32 m_newColour;
    bool m_done = true;
};
