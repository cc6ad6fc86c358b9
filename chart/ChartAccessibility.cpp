#include "ChartAccessibility.h"

#include "BarChart.h"
#include "LineChart.h"

#include <QAccessibleActionInterface>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QWindow>

namespace {

QAccessibleInterface *chartFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("TBarChart"))
        return new TBarChartAccessible(static_cast<TBarChart *>(object));
    if (className == QLatin1String("TLineChart"))
        return new TLineChartAccessible(static_cast<TLineChart *>(object));
    return nullptr;
}

TChartAccessible *chartInterface(QWidget *chart)
{
    return chart ? dynamic_cast<TChartAccessible *>(QAccessible::queryAccessibleInterface(chart))
                 : nullptr;
}

// One bar or point: a plain interface without an object of its own, asking its chart for
// everything it tells, so that it never shows stale figures.
class TChartItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    TChartItemAccessible(QWidget *chart, int item) : m_chart(chart), m_item(item) {}

    TChartAccessible *owner() const { return chartInterface(m_chart); }
    bool isValid() const override
    {
        const TChartAccessible *o = owner();
        return o && m_item < o->itemCount();
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override
    {
        return m_chart ? m_chart->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface *parent() const override { return owner(); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        const TChartAccessible *o = owner();
        if (!o || m_item >= o->itemCount())
            return QString();
        switch (t) {
        case QAccessible::Name:
            return o->itemName(m_item);
        case QAccessible::Value:
            return o->itemValue(m_item);
        default:
            return QString();
        }
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        const TChartAccessible *o = owner();
        if (!o || !m_chart || m_item >= o->itemCount())
            return QRect();
        const QRect r = o->itemRect(m_item);
        return QRect(m_chart->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        const TChartAccessible *o = owner();
        if (!o || !m_chart || m_item >= o->itemCount()) {
            s.invalid = true;
            return s;
        }
        s.focusable = true;
        s.selectable = true;
        const bool current = o->focusedItem() == m_item;
        s.focused = current && m_chart->hasFocus();
        s.selected = current;
        s.invisible = !m_chart->isVisible();
        s.offscreen = o->itemRect(m_item).isEmpty();
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    void doAction(const QString &name) override
    {
        TChartAccessible *o = owner();
        if (!o || !m_chart || m_item >= o->itemCount())
            return;
        if (name == setFocusAction() || name == pressAction()) {
            m_chart->setFocus(Qt::OtherFocusReason);
            o->focusItem(m_item);
        }
        if (name == pressAction())
            o->pressItem(m_item);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QWidget> m_chart;
    int m_item;
};

// Marks a chart whose change is not yet told; it goes with the chart.
const char *const PendingProperty = "qorlogAccessibleChangePending";

void tellDataChanged(QWidget *chart)
{
    TChartAccessible *iface = chartInterface(chart);
    if (!iface)
        return;
    const bool countChanged = iface->childCount() != iface->itemCount();
    iface->dropItems();
    if (countChanged) {
        QAccessibleEvent reorder(chart, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reorder);
    }
    QAccessibleEvent description(chart, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
    // The focused item is the one read out: tell its new name.
    const int focused = iface->focusedItem();
    if (focused >= 0) {
        QAccessibleEvent name(chart, QAccessible::NameChanged);
        name.setChild(focused);
        QAccessible::updateAccessibility(&name);
    }
}

} // namespace

namespace ChartAccessibility {

void install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(chartFactory);
}

void notifyDataChanged(QWidget *chart)
{
    if (!chart || !QAccessible::isActive())
        return;
    if (chart->property(PendingProperty).toBool())
        return;
    chart->setProperty(PendingProperty, true);
    QTimer::singleShot(0, chart, [chart] {
        chart->setProperty(PendingProperty, QVariant());
        tellDataChanged(chart);
    });
}

void notifyFocus(QWidget *chart, int child)
{
    if (!chart || child < 0 || !QAccessible::isActive())
        return;
    QAccessibleEvent event(chart, QAccessible::Focus);
    event.setChild(child);
    QAccessible::updateAccessibility(&event);
}

int barChild(const TBarChart *chart, int series, int index)
{
    if (!chart || series < 0 || series >= chart->seriesCount() || index < 0 ||
        index >= chart->pointCount(series))
        return -1;
    int child = 0;
    for (int s = 0; s < chart->seriesCount(); ++s)
        child +=
            std::min(index, chart->pointCount(s)) + (s < series && index < chart->pointCount(s));
    return child;
}

bool barOfChild(const TBarChart *chart, int child, int *series, int *index)
{
    if (!chart || child < 0)
        return false;
    const int categories = chart->categoryCount();
    const int seriesTotal = chart->seriesCount();
    // Every series as long as the longest: plain arithmetic.
    bool even = true;
    for (int s = 0; s < seriesTotal; ++s)
        even = even && chart->pointCount(s) == categories;
    if (even) {
        if (seriesTotal == 0 || child >= categories * seriesTotal)
            return false;
        *series = child % seriesTotal;
        *index = child / seriesTotal;
        return true;
    }
    for (int i = 0; i < categories; ++i) {
        for (int s = 0; s < seriesTotal; ++s) {
            if (i >= chart->pointCount(s))
                continue;
            if (child-- == 0) {
                *series = s;
                *index = i;
                return true;
            }
        }
    }
    return false;
}

int pointChild(const TLineChart *chart, int series, int index)
{
    if (!chart || series < 0 || series >= chart->seriesCount() || index < 0 ||
        index >= chart->pointCount(series))
        return -1;
    int child = index;
    for (int s = 0; s < series; ++s)
        child += chart->pointCount(s);
    return child;
}

bool pointOfChild(const TLineChart *chart, int child, int *series, int *index)
{
    if (!chart || child < 0)
        return false;
    for (int s = 0; s < chart->seriesCount(); ++s) {
        if (child < chart->pointCount(s)) {
            *series = s;
            *index = child;
            return true;
        }
        child -= chart->pointCount(s);
    }
    return false;
}

} // namespace ChartAccessibility

// ---- common chart interface ------------------------------------------------------------------

TChartAccessible::TChartAccessible(QWidget *chart) : QAccessibleWidget(chart, QAccessible::Chart) {}

// The item interfaces are left to the accessibility cache, which deletes them at the end; they
// turn invalid with their chart.
TChartAccessible::~TChartAccessible() = default;

void TChartAccessible::dropItems() const
{
    for (const QAccessible::Id id : std::as_const(m_items)) {
        if (QAccessible::accessibleInterface(id))
            QAccessible::deleteAccessibleInterface(id);
    }
    m_items.clear();
    m_itemCount = itemCount();
}

int TChartAccessible::childCount() const
{
    return itemCount();
}

QAccessibleInterface *TChartAccessible::child(int index) const
{
    if (m_itemCount != itemCount())
        dropItems();
    if (index < 0 || index >= m_itemCount)
        return nullptr;
    const auto it = m_items.constFind(index);
    if (it != m_items.constEnd()) {
        if (QAccessibleInterface *iface = QAccessible::accessibleInterface(*it))
            return iface;
    }
    auto *iface = new TChartItemAccessible(widget(), index);
    m_items.insert(index, QAccessible::registerAccessibleInterface(iface));
    return iface;
}

int TChartAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    if (!child)
        return -1;
    for (auto it = m_items.constBegin(); it != m_items.constEnd(); ++it) {
        if (QAccessible::accessibleInterface(it.value()) == child)
            return it.key();
    }
    return -1;
}

QAccessibleInterface *TChartAccessible::childAt(int x, int y) const
{
    const QPoint local = widget()->mapFromGlobal(QPoint(x, y));
    const int item = itemAt(local);
    return item >= 0 ? child(item) : nullptr;
}

QAccessibleInterface *TChartAccessible::focusChild() const
{
    if (!widget()->hasFocus())
        return nullptr;
    const int item = focusedItem();
    return item >= 0 ? child(item) : nullptr;
}

QString TChartAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Description) {
        const QString own = widget()->accessibleDescription();
        return own.isEmpty() ? summary() : own + QStringLiteral(". ") + summary();
    }
    return QAccessibleWidget::text(t);
}

// ---- bar chart -------------------------------------------------------------------------------

TBarChartAccessible::TBarChartAccessible(TBarChart *chart) : TChartAccessible(chart) {}

TBarChart *TBarChartAccessible::chart() const
{
    return static_cast<TBarChart *>(widget());
}

int TBarChartAccessible::itemCount() const
{
    int n = 0;
    for (int s = 0; s < chart()->seriesCount(); ++s)
        n += chart()->pointCount(s);
    return n;
}

QString TBarChartAccessible::itemName(int item) const
{
    int s = -1, i = -1;
    return ChartAccessibility::barOfChild(chart(), item, &s, &i) ? chart()->barText(s, i)
                                                                 : QString();
}

QString TBarChartAccessible::itemValue(int item) const
{
    int s = -1, i = -1;
    return ChartAccessibility::barOfChild(chart(), item, &s, &i)
               ? chart()->formatValue(chart()->value(s, i)) + chart()->valueSuffix(s)
               : QString();
}

QRect TBarChartAccessible::itemRect(int item) const
{
    int s = -1, i = -1;
    return ChartAccessibility::barOfChild(chart(), item, &s, &i) ? chart()->barFocusRect(s, i)
                                                                 : QRect();
}

int TBarChartAccessible::focusedItem() const
{
    return ChartAccessibility::barChild(chart(), chart()->focusedSeries(), chart()->focusedIndex());
}

void TBarChartAccessible::focusItem(int item)
{
    int s = -1, i = -1;
    if (ChartAccessibility::barOfChild(chart(), item, &s, &i))
        chart()->setFocusedBar(s, i);
}

void TBarChartAccessible::pressItem(int item)
{
    int s = -1, i = -1;
    if (ChartAccessibility::barOfChild(chart(), item, &s, &i))
        emit chart()->seriesPressed(s, i, Qt::LeftButton, chart()->barFocusRect(s, i).center());
}

int TBarChartAccessible::itemAt(const QPoint &pos) const
{
    int s = -1, i = -1;
    return chart()->barAt(pos, &s, &i) ? ChartAccessibility::barChild(chart(), s, i) : -1;
}

QString TBarChartAccessible::summary() const
{
    return chart()->summaryText();
}

// ---- line chart ------------------------------------------------------------------------------

TLineChartAccessible::TLineChartAccessible(TLineChart *chart) : TChartAccessible(chart) {}

TLineChart *TLineChartAccessible::chart() const
{
    return static_cast<TLineChart *>(widget());
}

int TLineChartAccessible::itemCount() const
{
    int n = 0;
    for (int s = 0; s < chart()->seriesCount(); ++s)
        n += chart()->pointCount(s);
    return n;
}

QString TLineChartAccessible::itemName(int item) const
{
    int s = -1, i = -1;
    return ChartAccessibility::pointOfChild(chart(), item, &s, &i) ? chart()->pointText(s, i)
                                                                   : QString();
}

QString TLineChartAccessible::itemValue(int item) const
{
    int s = -1, i = -1;
    return ChartAccessibility::pointOfChild(chart(), item, &s, &i) ? chart()->pointValueText(s, i)
                                                                   : QString();
}

QRect TLineChartAccessible::itemRect(int item) const
{
    int s = -1, i = -1;
    return ChartAccessibility::pointOfChild(chart(), item, &s, &i) ? chart()->pointRect(s, i)
                                                                   : QRect();
}

int TLineChartAccessible::focusedItem() const
{
    return ChartAccessibility::pointChild(chart(), chart()->focusedSeries(),
                                          chart()->focusedIndex());
}

void TLineChartAccessible::focusItem(int item)
{
    int s = -1, i = -1;
    if (ChartAccessibility::pointOfChild(chart(), item, &s, &i))
        chart()->setFocusedPoint(s, i);
}

void TLineChartAccessible::pressItem(int item)
{
    int s = -1, i = -1;
    if (ChartAccessibility::pointOfChild(chart(), item, &s, &i))
        emit chart()->pointClicked(s, i, Qt::LeftButton);
}

int TLineChartAccessible::itemAt(const QPoint &pos) const
{
    int s = -1, i = -1;
    return chart()->pointAt(pos, &s, &i) ? ChartAccessibility::pointChild(chart(), s, i) : -1;
}

QString TLineChartAccessible::summary() const
{
    int points = 0;
    for (int s = 0; s < chart()->seriesCount(); ++s)
        points += chart()->pointCount(s);
    const int series = chart()->seriesCount();
    const QString seriesText =
        QCoreApplication::translate("TChartAccessible", "%n series", nullptr, series);
    return seriesText + QStringLiteral(", ") +
           QCoreApplication::translate("TChartAccessible", "%n points", nullptr, points);
}
