#include "ChargerLogCommands.h"

#include "ChargeDataFormUnit.h"
#include "ChargeLogDocument.h"
#include "ChargerLog.h"
#include "ChargerLogFormUnit.h"
#include "ChargerLogHealth.h"
#include "ErrorBox.h"
#include "NumberText.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

#include <cmath>
#include <memory>

TChargerLogCommands::TChargerLogCommands(TChargeLogDocument *document, IChargeRecordStore *store,
                                         QWidget *window)
    : QObject(window), m_document(document), m_store(store), m_window(window)
{
    ShowChargerLogAction = new QAction(tr("S&how Charger Log"), this);
    ShowChargerLogAction->setObjectName(QStringLiteral("ShowChargerLogAction"));
    connect(ShowChargerLogAction, &QAction::triggered, this, [this] {
        ErrorBox::guard(
            [this] {
                qint32 key = 0;
                Q_EMIT recordKeyRequested(key);
                showForRecord(key);
            },
            m_window);
    });
    connect(m_document, &TChargeLogDocument::changed, this, &TChargerLogCommands::followRecords);
    AddChargeFromChargerLogAction = new QAction(tr("&Add Charge from Charger Log…"), this);
    AddChargeFromChargerLogAction->setObjectName(QStringLiteral("AddChargeFromChargerLogAction"));
    connect(AddChargeFromChargerLogAction, &QAction::triggered, this, [this] {
        ErrorBox::guard(
            [this] {
                const QStringList paths = QFileDialog::getOpenFileNames(
                    m_window, tr("Add Charge from Charger Log"),
                    QFileInfo(m_document->path()).absolutePath(),
                    tr("Charger logs (*.txt *.csv *.log);;All files (*)"));
                addChargesFrom(paths);
            },
            m_window);
    });
}

QString TChargerLogCommands::pathOf(qint32 key) const
{
    const TChargeLog &log = m_document->log();
    const int position = key != 0 ? log.FindChargeIndex(key) : -1;
    if (position < 0)
        return {};
    QString name, comment;
    TChargeList::SplitChargeText(log.ChargeStringList.text(position), name, comment);
    return ChargerLogHealth::resolvePath(m_document->path(), name);
}

QString TChargerLogCommands::existingFileOf(qint32 key) const
{
    const QString path = pathOf(key);
    return !path.isEmpty() && QFileInfo(path).isFile() ? path : QString();
}

bool TChargerLogCommands::openFile(const QString &file)
{
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return false;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        throw QorLogError(tr("No program could open %1").arg(QDir::toNativeSeparators(file)));
    return true;
}

TChargerLogForm *TChargerLogCommands::showForRecord(qint32 key)
{
    const QString path = existingFileOf(key);
    if (path.isEmpty())
        return nullptr;
    return showRecordIn(TChargerLogForm::showFor(path, m_window), key);
}

TChargerLogForm *TChargerLogCommands::showRecordIn(TChargerLogForm *form, qint32 key)
{
    const TChargeLog &log = m_document->log();
    const int position = key > 0 ? log.FindChargeIndex(key) : -1;
    if (position < 0)
        return form;
    const TChargeRecord &record = log.ChargeStringList.record(position);
    form->setRecord(key, record.AmpHours, record.NominalChargeAmps);
    connect(form, &TChargerLogForm::useLogAmpHours, this, &TChargerLogCommands::useLogAmpHours,
            Qt::UniqueConnection);
    const auto known = std::find_if(m_recordForms.begin(), m_recordForms.end(),
                                    [form](const RecordWindow &w) { return w.form == form; });
    if (known == m_recordForms.end())
        m_recordForms.append({form, pathOf(key)});
    else
        known->path = pathOf(key);
    return form;
}

TChargerLogForm *TChargerLogCommands::showForDialog(TChargeDataForm *dialog)
{
    const auto pathIn = [this](const QString &text) {
        return ChargerLogHealth::resolvePath(m_document->path(),
                                             QDir::fromNativeSeparators(text.trimmed()));
    };
    const QString path = pathIn(dialog->ChargerLogFileNameLabeledEdit->text());
    if (path.isEmpty() || !QFileInfo(path).isFile())
        throw QorLogError(
            tr("The charger log file %1 is not there").arg(QDir::toNativeSeparators(path)));
    TChargerLogForm *form = showRecordIn(TChargerLogForm::showFor(path, dialog), dialog->RecordKey);
    // While the dialog edits the name, the window shows the file the name names.
    connect(dialog, &TChargeDataForm::chargerLogFileNameChanged, form,
            [form, pathIn](const QString &text) {
                const QString next = pathIn(text);
                if (!next.isEmpty() && next != form->filePath() && QFileInfo(next).isFile())
                    form->setFilePath(next);
            });
    return form;
}

void TChargerLogCommands::followRecords()
{
    const TChargeLog &log = m_document->log();
    m_recordForms.removeIf([](const RecordWindow &w) { return w.form.isNull(); });
    for (RecordWindow &w : m_recordForms) {
        const qint32 key = w.form->recordKey();
        const int position = key > 0 ? log.FindChargeIndex(key) : -1;
        if (position < 0)
            continue;
        // A new file name shows the new file; other changes leave what the window shows.
        const QString path = pathOf(key);
        if (path != w.path) {
            w.path = path;
            if (!path.isEmpty() && path != w.form->filePath() && QFileInfo(path).isFile())
                w.form->setFilePath(path);
        }
        const TChargeRecord &record = log.ChargeStringList.record(position);
        w.form->setRecord(key, record.AmpHours, record.NominalChargeAmps);
    }
}

void TChargerLogCommands::useLogAmpHours(qint32 key, double ampHours)
{
    ErrorBox::guard(
        [&] {
            const TChargeLog &log = m_document->log();
            const int position = log.FindChargeIndex(key);
            if (position < 0)
                throw QorLogError(tr("The record is not in the log any more"));
            const TChargeRecord r = log.ChargeStringList.record(position);
            QString file, comment;
            TChargeList::SplitChargeText(log.ChargeStringList.text(position), file, comment);
            // An edit like any other: one undo step, then a save.
            m_document->storeCharge(
                key, r.DateTime, log.PowerSourcesStringList.name(r.PowerSourceIndex),
                log.ChargersStringList.name(r.ChargerIndex),
                log.BatteriesStringList.name(r.BatteryIndex), r.NominalChargeAmps, ampHours,
                log.TerminationsStringList.name(r.TerminationIndex), comment, file);
            if (auto *form = qobject_cast<TChargerLogForm *>(sender()))
                form->setRecord(key, ampHours, r.NominalChargeAmps);
        },
        m_window);
}

TChargerLogCommands::TLogDraft TChargerLogCommands::draftFrom(const QString &path) const
{
    TLogDraft d;
    ChargerLog::TDraftRecord draft;
    try {
        draft = ChargerLog::draftRecord(ChargerLog::readFile(path), QFileInfo(path).lastModified());
    } catch (const QorLogError &error) {
        d.refusal = error.message();
        return d;
    }
    if (!draft.valid) {
        d.refusal = tr("%1 moves no amp-hours").arg(QDir::toNativeSeparators(path));
        return d;
    }
    return fieldsOf(path, draft);
}

TChargerLogCommands::TLogDraft
TChargerLogCommands::fieldsOf(const QString &path, const ChargerLog::TDraftRecord &draft) const
{
    // The other fields as "Add Charge Record" fills them: the latest charge's names.
    const TChargeLog &log = m_document->log();
    const TChargeList &list = log.ChargeStringList;
    TChargeRecord latest;
    latest.ChargerIndex = latest.BatteryIndex = latest.TerminationIndex = -1;
    if (list.count() > 0)
        latest = list.record(list.count() - 1);
    TLogDraft d;
    d.valid = true;
    d.dateTime = DateTimeText::fromWallClock(draft.dateTime.date(), draft.dateTime.time());
    d.charger = log.ChargersStringList.name(latest.ChargerIndex);
    d.battery = log.BatteriesStringList.name(latest.BatteryIndex);
    d.termination = log.TerminationsStringList.name(latest.TerminationIndex);
    // A discharge has both figures negative, as the table and the chart count it; the
    // amp-hours as the log's figures show them, to the thousandth.
    d.nominalAmps = draft.discharge ? -std::fabs(draft.nominalAmps) : draft.nominalAmps;
    d.ampHours = std::round(draft.ampHours * 1000) / 1000;
    d.fileName = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    return d;
}

void TChargerLogCommands::addChargesFrom(const QStringList &paths)
{
    QStringList refused;
    for (const QString &path : paths) {
        ChargerLog::TChargerLog read;
        ChargerLog::TDraftRecord draft;
        try {
            read = ChargerLog::readFile(path);
            draft = ChargerLog::draftRecord(read, QFileInfo(path).lastModified());
        } catch (const QorLogError &error) {
            refused << error.message();
            continue;
        }
        if (!draft.valid && read.format == ChargerLog::Format::Untitled) {
            // Columns without titles: the log's window asks what they hold, and once the file
            // is read with the user's choice the record starts from it.
            askForColumns(path);
            continue;
        }
        if (!draft.valid) {
            refused << tr("%1 moves no amp-hours").arg(QDir::toNativeSeparators(path));
            continue;
        }
        openDraft(path, draft);
    }
    if (!refused.isEmpty())
        ErrorBox::show(refused.join(QLatin1Char('\n')), m_window);
}

void TChargerLogCommands::askForColumns(const QString &path)
{
    TChargerLogForm *form = TChargerLogForm::showFor(path, m_window);
    form->ReadoutLabel->setText(
        tr("The columns of this log have no titles, and what QorLog took them for moves no "
           "amp-hours: choose what each column holds and read the file with them; the charge "
           "data dialog then opens."));
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(form, &TChargerLogForm::logShown, this, [this, form, path, connection] {
        const ChargerLog::TDraftRecord draft =
            ChargerLog::draftRecord(form->log(), QFileInfo(path).lastModified());
        if (!draft.valid || form->log().rolesNeeded)
            return; // not yet: the user goes on choosing
        disconnect(*connection);
        ErrorBox::guard([&] { openDraft(path, draft); }, m_window);
    });
}

void TChargerLogCommands::openDraft(const QString &path, const ChargerLog::TDraftRecord &draft)
{
    const TLogDraft d = fieldsOf(path, draft);
    TChargeDataForm::OpenForAutomation(m_store, d.dateTime, QString(), true, d.charger, d.battery,
                                       d.nominalAmps, d.ampHours, d.termination, QString(),
                                       d.fileName, m_window);
}

QStringList TChargerLogCommands::droppedFiles(const QMimeData *data)
{
    QStringList files;
    if (data)
        for (const QUrl &url : data->urls())
            if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
                files << url.toLocalFile();
    return files;
}
