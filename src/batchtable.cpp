#include "batchtable.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QScopedValueRollback>
#include <QTableWidget>

#include "joblist.h"
#include "jobtooltip.h"

using namespace Qt::StringLiterals;

namespace {
QTableWidgetItem *readOnlyItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

QString stateText(ListedState state)
{
    switch (state) {
    case ListedState::Done:
        return u"Done."_s;
    case ListedState::Failed:
        return QCoreApplication::translate("MainWindow", "Fehler");
    case ListedState::Refused:
        return QCoreApplication::translate("MainWindow", "Verweigert");
    case ListedState::Pending:
        break;
    }
    return QString();
}
} // namespace

BatchTable::BatchTable(QTableWidget *table, JobList *list)
    : QObject(table), m_table(table), m_tableObject(table), m_list(list)
{
    table->horizontalHeader()->resizeSection(0, 990);
    table->horizontalHeader()->resizeSection(1, 60);
    // The Status column stays in sight: the Jobs column takes the width that
    // remains beside it and follows the table's width; a long job is shortened in
    // the middle, where its options are, so that input and output stay readable.
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setHorizontalHeaderItem(0, new QTableWidgetItem(u"Jobs"_s));
    table->setHorizontalHeaderItem(1, new QTableWidgetItem(u"Status"_s));
    // The list shows what the jobs are and what became of them; the user changes a
    // job only by adding or removing it, never by typing into a cell.
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);

    connect(list, &JobList::replaced, this, &BatchTable::fill);
    connect(list, &JobList::appended, this, &BatchTable::addRows);
    connect(list, &JobList::removed, this, &BatchTable::removeRows);
    connect(list, &JobList::stateChanged, this, &BatchTable::showState);
    connect(list, &JobList::inserted, this, &BatchTable::insertRows);
    connect(list, &JobList::jobChanged, this, &BatchTable::showJob);

    const QAbstractItemModel *model = table->model();
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { takeRows(first, last); });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex &, int first, int last) { dropRows(first, last); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &from, const QModelIndex &to) { takeCells(from.row(), to.row()); });
    connect(model, &QAbstractItemModel::modelReset, this,
            [this] { takeCells(0, m_list ? m_list->size() - 1 : -1); });
}

QTableWidget *BatchTable::liveTable() const
{
    return qobject_cast<QTableWidget *>(m_tableObject);
}

std::vector<bool> BatchTable::selectedRows(const QTableWidget *table)
{
    std::vector<bool> selected(size_t(table->rowCount()), false);
    for (const QTableWidgetItem *item : table->selectedItems())
        if (item->column() == 0)
            selected[size_t(item->row())] = true;
    return selected;
}

QTableWidgetItem *BatchTable::jobItem(int row) const
{
    QTableWidgetItem *item = readOnlyItem(m_list->text(row));
    const QString origin = m_list->origin(row);
    item->setToolTip(origin.isEmpty() ? jobToolTip(m_list->job(row))
                                      : origin + u"\n\n"_s + jobToolTip(m_list->job(row)));
    // Jobs that came by themselves stand out from the user's own.
    if (!origin.isEmpty()) {
        QFont font = item->font();
        font.setItalic(true);
        item->setFont(font);
    }
    return item;
}

void BatchTable::fill()
{
    if (m_reading)
        return;
    const QScopedValueRollback writing(m_writing, true);
    m_table->setUpdatesEnabled(false);
    m_table->clearContents();
    m_table->setRowCount(0);
    m_table->setRowCount(m_list->size());
    for (int row = 0; row < m_list->size(); ++row) {
        m_table->setItem(row, 0, jobItem(row));
        if (m_list->state(row) != ListedState::Pending)
            showState(row);
    }
    m_table->setUpdatesEnabled(true);
}

void BatchTable::addRows(int first, int count)
{
    if (m_reading)
        return;
    const QScopedValueRollback writing(m_writing, true);
    m_table->setUpdatesEnabled(false);
    m_table->setRowCount(first + count);
    for (int row = first; row < first + count; ++row)
        m_table->setItem(row, 0, jobItem(row));
    m_table->setUpdatesEnabled(true);
}

void BatchTable::removeRows(const std::vector<bool> &removed)
{
    if (m_reading)
        return;
    const QScopedValueRollback writing(m_writing, true);
    // The cells of the rows that stay are taken and put back: removing rows one
    // by one costs time in proportion to the list for every row removed, which
    // makes long lists crawl.
    QList<std::pair<QTableWidgetItem *, QTableWidgetItem *>> kept;
    for (int row = 0; row < m_table->rowCount(); ++row)
        if (size_t(row) >= removed.size() || !removed[size_t(row)])
            kept.append(std::make_pair(m_table->takeItem(row, 0), m_table->takeItem(row, 1)));
    m_table->setUpdatesEnabled(false);
    m_table->clearSelection();
    m_table->clearContents();
    m_table->setRowCount(int(kept.size()));
    for (int row = 0; row < kept.size(); ++row) {
        if (kept[row].first)
            m_table->setItem(row, 0, kept[row].first);
        if (kept[row].second)
            m_table->setItem(row, 1, kept[row].second);
    }
    m_table->setUpdatesEnabled(true);
}

void BatchTable::showState(int row)
{
    if (m_reading || row >= m_table->rowCount())
        return;
    const QScopedValueRollback writing(m_writing, true);
    const ListedState state = m_list->state(row);
    if (state == ListedState::Pending) {
        delete m_table->takeItem(row, 1);
        return;
    }
    QTableWidgetItem *item = readOnlyItem(stateText(state));
    item->setToolTip(m_list->note(row));
    m_table->setItem(row, 1, item);
}

void BatchTable::insertRows(int row, int count)
{
    if (m_reading)
        return;
    const QScopedValueRollback writing(m_writing, true);
    for (int i = 0; i < count; ++i)
        m_table->insertRow(row);
    for (int i = row; i < row + count; ++i)
        m_table->setItem(i, 0, jobItem(i));
}

void BatchTable::showJob(int row)
{
    if (m_reading || row >= m_table->rowCount())
        return;
    const QScopedValueRollback writing(m_writing, true);
    m_table->setItem(row, 0, jobItem(row));
}

void BatchTable::takeRows(int first, int last)
{
    if (m_writing || !m_list || !liveTable())
        return;
    const QScopedValueRollback reading(m_reading, true);
    m_list->insertPending(first, last - first + 1);
}

void BatchTable::dropRows(int first, int last)
{
    if (m_writing || !m_list || !liveTable())
        return;
    const QScopedValueRollback reading(m_reading, true);
    std::vector<bool> removed(size_t(m_list->size()), false);
    for (int row = first; row <= last && size_t(row) < removed.size(); ++row)
        removed[size_t(row)] = true;
    m_list->remove(removed);
}

void BatchTable::takeCells(int first, int last)
{
    if (m_writing || !m_list || !liveTable())
        return;
    const QScopedValueRollback reading(m_reading, true);
    for (int row = std::max(first, 0); row <= last && row < m_list->size(); ++row) {
        const QTableWidgetItem *jobCell = m_table->item(row, 0);
        const QString text = jobCell ? jobCell->text() : QString();
        if (text != m_list->text(row))
            m_list->setJob(row, Job::fromText(text));
        // A Status item marks a job done, whatever its text; without one the job
        // is pending.
        const bool hasStatus = m_table->item(row, 1) != nullptr;
        if (hasStatus && m_list->state(row) == ListedState::Pending)
            m_list->setState(row, ListedState::Done);
        else if (!hasStatus && m_list->state(row) != ListedState::Pending)
            m_list->setState(row, ListedState::Pending);
    }
}
