#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

class TBarChart;
class TLineChart;

// What assistive technology sees of the charts. A chart is one object of role Chart, named
// after its accessible name and described by a short summary ("3 series, 10 batteries"); each
// bar of a bar chart and each point of a line chart is a child of it, named after what it
// shows ("Pack Fade, Charged 42 Ah") and focusable with the keyboard. Bar chart children go
// category by category (the series of one category side by side, as drawn), line chart
// children series by series.
namespace ChartAccessibility {

// Installs the factory that makes the interfaces below; the charts call it when they are
// created, so nothing else needs to.
void install();

// Tell assistive technology that the chart's points changed (names, values, their number).
// Many changes in a row are told once, after the current event.
void notifyDataChanged(QWidget *chart);
// Tell assistive technology that `child` now has the keyboard focus within the chart.
void notifyFocus(QWidget *chart, int child);

// Child numbers of bars and points, and back; -1 or false when there is none.
int barChild(const TBarChart *chart, int series, int index);
bool barOfChild(const TBarChart *chart, int child, int *series, int *index);
int pointChild(const TLineChart *chart, int series, int index);
bool pointOfChild(const TLineChart *chart, int child, int *series, int *index);

} // namespace ChartAccessibility

// Common part of both charts' interfaces: the items (bars or points) as children. Item
// interfaces are made on demand and kept until the number of items changes.
class TChartAccessible : public QAccessibleWidget
{
public:
    explicit TChartAccessible(QWidget *chart);
    ~TChartAccessible() override;

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;
    QString text(QAccessible::Text t) const override;

    virtual int itemCount() const = 0;
    virtual QString itemName(int item) const = 0;
    virtual QString itemValue(int item) const = 0;
    virtual QRect itemRect(int item) const = 0; // widget coordinates
    virtual int focusedItem() const = 0;
    virtual void focusItem(int item) = 0;
    virtual void pressItem(int item) = 0;
    virtual int itemAt(const QPoint &pos) const = 0;
    virtual QString summary() const = 0;

    // Drops the item interfaces; the next query makes new ones.
    void dropItems() const;

private:
    mutable QHash<int, QAccessible::Id> m_items;
    mutable int m_itemCount = -1;
};

class TBarChartAccessible : public TChartAccessible
{
public:
    explicit TBarChartAccessible(TBarChart *chart);
    int itemCount() const override;
    QString itemName(int item) const override;
    QString itemValue(int item) const override;
    QRect itemRect(int item) const override;
    int focusedItem() const override;
    void focusItem(int item) override;
    void pressItem(int item) override;
    int itemAt(const QPoint &pos) const override;
    QString summary() const override;

private:
    TBarChart *chart() const;
};

class TLineChartAccessible : public TChartAccessible
{
public:
    explicit TLineChartAccessible(TLineChart *chart);
    int itemCount() const override;
    QString itemName(int item) const override;
    QString itemValue(int item) const override;
    QRect itemRect(int item) const override;
    int focusedItem() const override;
    void focusItem(int item) override;
    void pressItem(int item) override;
    int itemAt(const QPoint &pos) const override;
    QString summary() const override;

private:
    TLineChart *chart() const;
};
