// The batch table as a view of the job list: one row per job, its text in the
// Jobs column (shortened in the middle, told whole in the tooltip) and what became
// of it in the Status column. Rows and cells changed in the table itself (a row
// inserted, a job text or a Status item put into a cell, as older callers do)
// are handed to the list, so that the list stays the one record of the jobs.
#ifndef BATCHTABLE_H
#define BATCHTABLE_H

#include <QObject>
#include <QPointer>

#include <vector>

class JobList;
class QTableWidget;
class QTableWidgetItem;

class BatchTable : public QObject
{
    Q_OBJECT

public:
    BatchTable(QTableWidget *table, JobList *list);

    // One mark per row of the table: true where the user selected the row.
    static std::vector<bool> selectedRows(const QTableWidget *table);

private:
    void fill();
    void addRows(int first, int count);
    void removeRows(const std::vector<bool> &removed);
    void showState(int row);
    void insertRows(int row, int count);
    void showJob(int row);
    // What was changed in the table itself, into the list.
    void takeRows(int first, int last);
    void dropRows(int first, int last);
    void takeCells(int first, int last);
    QTableWidgetItem *jobItem(int row) const;

    QTableWidget *m_table;
    // The table as a plain object: while it is being destroyed its model reports
    // rows removed, and the table is no table any more (liveTable() is null).
    QObject *m_tableObject;
    QTableWidget *liveTable() const;
    // Empty once the list is gone: the table, dying after it, reports its rows
    // removed to nobody.
    QPointer<JobList> m_list;
    // Set while the table is written from the list, and while the list follows
    // the table: neither reacts to the other's change then.
    bool m_writing = false;
    bool m_reading = false;
};

#endif
