#include "ChargeLogTableModel.h"

#include "ChartContrast.h"

#include "NumberText.h"

TChargeLogTableModel::TChargeLogTableModel(QObject *parent)
    : QAbstractTableModel(parent), m_dischargeColour(QColor(0xFF, 0x00, 0x80))
{
}

QStringList TChargeLogTableModel::columnTitles()
{
    return {tr("Date-Time"), tr("Power"),    tr("Charger"),     tr("Battery"),
            tr("Amps"),      tr("AmpHours"), tr("Termination"), tr("Comment")};
}

qint32 TChargeLogTableModel::keyAt(int row) const
{
    return row >= 0 && row < shownCount() ? m_rows[size_t(row)].Key : 0;
}

void TChargeLogTableModel::setDischargeColour(const QColor &colour)
{
    if (colour == m_dischargeColour)
        return;
    m_dischargeColour = colour;
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, AmpsColumn), index(rowCount() - 1, AmpHoursColumn),
                           {Qt::ForegroundRole});
}

int TChargeLogTableModel::rowCount(const QModelIndex &parent) const
{
    // An empty table still shows one blank row, as a string grid always has a data row.
    return parent.isValid() ? 0 : qMax(1, shownCount());
}

int TChargeLogTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const TChargeEntry *TChargeLogTableModel::entryOf(const Row &row) const
{
    const TChargeList &charges = m_log->ChargeStringList;
    if (row.Position < charges.count() && charges.at(row.Position).Record.Key == row.Key)
        return &charges.at(row.Position);
    const int position = charges.FindChargeIndex(row.Key);
    return position >= 0 ? &charges.at(position) : nullptr;
}

QString TChargeLogTableModel::cellText(const TChargeEntry &entry, int column) const
{
    return cellText(*m_log, entry.Record, entry.Text, column, m_locale);
}

QString TChargeLogTableModel::cellText(const TChargeLog &log, const TChargeRecord &r,
                                       const QString &text, int column, const QLocale &locale)
{
    switch (column) {
    case DateTimeColumn:
        return DateTimeText::formatTable(r.DateTime, locale);
    case PowerColumn:
        return log.PowerSourcesStringList.name(r.PowerSourceIndex);
    case ChargerColumn:
        return log.ChargersStringList.name(r.ChargerIndex);
    case BatteryColumn:
        return log.BatteriesStringList.name(r.BatteryIndex);
    case AmpsColumn:
        return NumberText::formatGeneral(r.NominalChargeAmps, locale);
    case AmpHoursColumn:
        return NumberText::formatGeneral(r.AmpHours, locale);
    case TerminationColumn:
        return log.TerminationsStringList.name(r.TerminationIndex);
    case CommentColumn: {
        QString logFile, comment;
        TChargeList::SplitChargeText(text, logFile, comment);
        return comment;
    }
    default:
        return {};
    }
}

QString TChargeLogTableModel::rowsAsTabSeparatedText(const QList<int> &rows) const
{
    const auto line = [](QStringList fields) {
        for (QString &field : fields)
            for (QChar &c : field)
                if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                    c = QLatin1Char(' ');
        return fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    };
    QString text = line(columnTitles());
    for (int row : rows) {
        const TChargeEntry *entry =
            row >= 0 && row < shownCount() ? entryOf(m_rows[size_t(row)]) : nullptr;
        if (!entry)
            continue;
        QStringList fields;
        for (int column = 0; column < ColumnCount; ++column)
            fields.append(cellText(*entry, column));
        text += line(fields);
    }
    return text;
}

QVariant TChargeLogTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= shownCount())
        return {};
    const TChargeEntry *entry = entryOf(m_rows[size_t(index.row())]);
    if (!entry)
        return {};
    const TChargeRecord &record = entry->Record;
    switch (role) {
    case Qt::DisplayRole: {
        // A cell shows at most a screenful: laying out megabytes of comment for every paint
        // would freeze the window. The whole text stays in the log and in the dialog.
        QString text = cellText(*entry, index.column());
        if (text.size() > MaxCellText) {
            text.truncate(MaxCellText);
            text.append(QChar(0x2026));
        }
        return text;
    }
    case Qt::AccessibleTextRole: {
        // The colour that marks a discharge, said in words.
        QString text = cellText(*entry, index.column());
        if (text.size() > MaxCellText)
            text.truncate(MaxCellText);
        if ((index.column() == AmpsColumn || index.column() == AmpHoursColumn) &&
            (record.NominalChargeAmps < 0 || record.AmpHours < 0))
            return tr("%1, discharge").arg(text);
        return text;
    }
    case KeyRole:
        return index.column() == DateTimeColumn ? QVariant(record.Key) : QVariant();
    case Qt::ForegroundRole:
        // A discharge (either figure negative) shows both figures in the discharge colour.
        if ((index.column() == AmpsColumn || index.column() == AmpHoursColumn) &&
            (record.NominalChargeAmps < 0 || record.AmpHours < 0))
            return m_dischargeColour;
        return {};
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant TChargeLogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return columnTitles().value(section);
    return section + 1;
}

Qt::ItemFlags TChargeLogTableModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void TDischargeItemDelegate::initStyleOption(QStyleOptionViewItem *option,
                                             const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant foreground = index.data(Qt::ForegroundRole);
    if (!foreground.canConvert<QColor>())
        return;
    // On a selected row the discharge colour is darkened or lightened as far as it must be to
    // read on the selection's colour (4.5:1); the hue stays.
    const QColor colour = foreground.value<QColor>();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        option->palette.setColor(
            group, QPalette::HighlightedText,
            ChartContrast::readableOn(colour, option->palette.color(group, QPalette::Highlight)));
}
