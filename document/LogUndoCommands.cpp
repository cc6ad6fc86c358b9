#include "LogUndoCommands.h"

#include "QorLogMainFormUnit.h"

TLogChangeCommand::TLogChangeCommand(TQorLogMainForm *form, const QString &text,
                                     TChargeLogChange change)
    : QUndoCommand(text), m_form(form), m_change(std::move(change))
{
}

void TLogChangeCommand::undo()
{
    m_form->runUndoStep([this] { m_change.undo(m_form->log().ChargeStringList); });
}

void TLogChangeCommand::redo()
{
    if (std::exchange(m_done, false))
        return;
    m_form->runUndoStep([this] { m_change.redo(m_form->log().ChargeStringList); });
}

TSeriesColourCommand::TSeriesColourCommand(TQorLogMainForm *form, const QString &text,
                                           Setter setter, qint32 oldColour, qint32 newColour)
    : QUndoCommand(text), m_form(form), m_setter(std::move(setter)), m_oldColour(oldColour),
      m_newColour(newColour)
{
}

void TSeriesColourCommand::undo()
{
    m_form->runUndoStep([this] { m_setter(m_oldColour); });
}

void TSeriesColourCommand::redo()
{
    if (std::exchange(m_done, false))
        return;
    m_form->runUndoStep([this] { m_setter(m_newColour); });
}
