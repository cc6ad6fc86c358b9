#include "BatteryCommands.h"

#include "BatteryDetailsFormUnit.h"
#include "BatteryOverviewFormUnit.h"
#include "ChargeChart.h"
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
}

TBatteryOverviewForm *TBatteryCommands::showOverview()
{
    TBatteryOverviewForm *form = TBatteryOverviewForm::showFor(m_document, m_window);
    // It follows what the table and chart show: every refresh, the filters' too.
    connect(this, &TBatteryCommands::refreshed, form, &TBatteryOverviewForm::refresh,
            Qt::UniqueConnection);
    connect(form, &TBatteryOverviewForm::detailsRequested, this, &TBatteryCommands::showDetails,
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
    return form;
}
