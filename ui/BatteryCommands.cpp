#include "BatteryCommands.h"

#include "BatteryCardFormUnit.h"
#include "BatteryDetailsFormUnit.h"
#include "BatteryOverviewFormUnit.h"
#include "ChargeChart.h"
#include "ChargeLogDocument.h"
#include "ErrorBox.h"

#include <QAction>

TBatteryCommands::TBatteryCommands(TChargeLogDocument *document, TChargeChart *chart,
                                   QWidget *window)
    : QObject(window), m_document(document), m_chart(chart), m_window(window)
{
    BatteryOverviewAction = new QAction(tr("Battery &Overview"), this);
    BatteryOverviewAction->setObjectName(QStringLiteral("BatteryOverviewAction"));
    connect(BatteryOverviewAction, &QAction::triggered, this,
            [this] { ErrorBox::guard([this] { showOverview(); }, m_window); });

    // The popup's entry opens the battery whose bars were under the mouse.
    BatteryDetailsAction = new QAction(tr("&Battery Details…"), this);
    BatteryDetailsAction->setObjectName(QStringLiteral("BatteryDetailsAction"));
    connect(chart, &QWidget::customContextMenuRequested, BatteryDetailsAction,
            [this](const QPoint &pos) {
                const int category = m_chart->categoryAt(pos);
                BatteryDetailsAction->setData(category >= 0 ? m_chart->label(0, category)
                                                            : QString());
                BatteryDetailsAction->setEnabled(category >= 0);
            });
    connect(BatteryDetailsAction, &QAction::triggered, this, [this] {
        ErrorBox::guard([this] { showDetails(BatteryDetailsAction->data().toString()); }, m_window);
    });
    connect(chart, &TBarChart::seriesDoubleClicked, this, [this](int series, int index) {
        ErrorBox::guard([&] { showDetails(m_chart->label(series, index)); }, m_window);
    });

    BatteryCardAction = new QAction(tr("Battery C&ard…"), this);
    BatteryCardAction->setObjectName(QStringLiteral("BatteryCardAction"));
    connect(chart, &QWidget::customContextMenuRequested, BatteryCardAction,
            [this](const QPoint &pos) {
                const int category = m_chart->categoryAt(pos);
                BatteryCardAction->setData(category >= 0 ? m_chart->label(0, category) : QString());
                BatteryCardAction->setEnabled(category >= 0);
            });
    connect(BatteryCardAction, &QAction::triggered, this, [this] {
        ErrorBox::guard([this] { showCard(BatteryCardAction->data().toString()); }, m_window);
    });
    TableBatteryCardAction = new QAction(tr("&Battery Card…"), this);
    TableBatteryCardAction->setObjectName(QStringLiteral("TableBatteryCardAction"));
    TableBatteryCardAction->setEnabled(false);
    connect(TableBatteryCardAction, &QAction::triggered, this, [this] {
        ErrorBox::guard([this] { showCard(TableBatteryCardAction->data().toString()); }, m_window);
    });

    ShowRetiredAction = new QAction(tr("Show &Retired Batteries"), this);
    ShowRetiredAction->setObjectName(QStringLiteral("ShowRetiredAction"));
    ShowRetiredAction->setCheckable(true);
    connect(ShowRetiredAction, &QAction::toggled, this, [this](bool show) {
        ErrorBox::guard([&] { m_document->setShowRetired(show); }, m_window);
    });
    // The overview's check box sets the same.
    connect(this, &TBatteryCommands::refreshed, ShowRetiredAction,
            [this] { ShowRetiredAction->setChecked(m_document->log().Cards.ShowRetired); });
}

void TBatteryCommands::setTableBattery(const QString &battery)
{
    TableBatteryCardAction->setData(battery);
    TableBatteryCardAction->setEnabled(!battery.isEmpty());
}

TBatteryCardForm *TBatteryCommands::showCard(const QString &battery)
{
    return TBatteryCardForm::showFor(m_document, m_window, battery);
}

TBatteryOverviewForm *TBatteryCommands::showOverview()
{
    TBatteryOverviewForm *form = TBatteryOverviewForm::showFor(m_document, m_window);
    // It follows what the table and chart show: every refresh, the filters' too.
    connect(this, &TBatteryCommands::refreshed, form, &TBatteryOverviewForm::refresh,
            Qt::UniqueConnection);
    connect(form, &TBatteryOverviewForm::detailsRequested, this, &TBatteryCommands::showDetails,
            Qt::UniqueConnection);
    connect(form, &TBatteryOverviewForm::cardRequested, this, &TBatteryCommands::showCard,
            Qt::UniqueConnection);
    return form;
}

TBatteryDetailsForm *TBatteryCommands::showDetails(const QString &battery)
{
    TBatteryDetailsForm *form = TBatteryDetailsForm::showFor(m_document, m_window, battery);
    if (!form)
        return nullptr;
    connect(this, &TBatteryCommands::refreshed, form, &TBatteryDetailsForm::refresh,
            Qt::UniqueConnection);
    connect(form, &TBatteryDetailsForm::selectRecordRequested, this,
            &TBatteryCommands::selectRecordRequested, Qt::UniqueConnection);
    connect(form, &TBatteryDetailsForm::cardRequested, this, &TBatteryCommands::showCard,
            Qt::UniqueConnection);
    return form;
}
