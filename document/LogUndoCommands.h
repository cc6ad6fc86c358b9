#pragma once

#include "ChargeLogChange.h"

#include <QUndoCommand>

#include <functional>

class TQorLogMainForm;

// The undo steps of the main window. Each is pushed after its change has been made (the
// first redo, which QUndoStack::push runs, does nothing); later undos and redos go through
// TQorLogMainForm::runUndoStep: the change, RefreshDisplay, then an atomic save.

// A change of the charge list: an add, an edit, a deletion, or any change made through
// TQorLogMainForm::applyLogChange.
class TLogChangeCommand : public QUndoCommand
{
public:
    TLogChangeCommand(TQorLogMainForm *form, const QString &text, TChargeLogChange change);
    void undo() override;
    void redo() override;

private:
    TQorLogMainForm *m_form;
    TChargeLogChange m_change;
    bool m_done = true;
};

// A new colour of one chart series.
class TSeriesColourCommand : public QUndoCommand
{
public:
    using Setter = std::function<void(qint32)>;
    TSeriesColourCommand(TQorLogMainForm *form, const QString &text, Setter setter,
                         qint32 oldColour, qint32 newColour);
    void undo() override;
    void redo() override;

private:
    TQorLogMainForm *m_form;
    Setter m_setter;
    qint32 m_oldColour;
    qint32 m_newColour;
    bool m_done = true;
};
