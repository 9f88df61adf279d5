#include "tracklist.h"

#include <QHeaderView>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
constexpr int indexRole = Qt::UserRole;
} // namespace

QString streamDetails(const StreamFacts &stream)
{
    if (stream.kind == StreamFacts::Kind::Audio) {
        switch (stream.channels) {
        case 0:
            return {};
        case 1:
            return TrackList::tr("Mono");
        case 2:
            return TrackList::tr("Stereo");
        case 6:
            return u"5.1"_s;
        case 8:
            return u"7.1"_s;
        default:
            return TrackList::tr("%1 Kanäle").arg(stream.channels);
        }
    }
    if (stream.width > 0 && stream.height > 0)
        return QString::number(stream.width) + u'×' + QString::number(stream.height);
    return {};
}

TrackList::TrackList(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderLabels(
        {tr("Spur"), tr("Codec"), tr("Sprache"), tr("Titel"), tr("Details"), tr("Standard"), tr("Hinweis")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::TabFocus);
    // Every column as wide as its texts, the last one too: stretched to the
    // remaining width, it would be cut whenever the others fill the list.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(this, &QTreeWidget::itemChanged, this, &TrackList::itemChecked);
}

void TrackList::setFacts(const MediaFacts &facts)
{
    m_filling = true;
    clear();
    m_checks.clear();
    for (const StreamFacts &s : facts.streams) {
        auto *item = new QTreeWidgetItem(this);
        item->setData(KindColumn, indexRole, s.index);
        item->setText(KindColumn, kindLabel(s.kind));
        item->setText(CodecColumn, s.codec);
        item->setText(LanguageColumn, s.language);
        item->setText(TitleColumn, s.title);
        item->setText(DetailsColumn, streamDetails(s));
        item->setText(DefaultColumn, s.isDefault ? tr("ja") : QString());
        item->setCheckState(KindColumn, Qt::Unchecked);
    }
    fitColumns();
    m_filling = false;
    updateGeometry();
}

void TrackList::showPlan(const TrackPlan &plan)
{
    m_filling = true;
    for (int row = 0; row < topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = topLevelItem(row);
        const int index = item->data(KindColumn, indexRole).toInt();
        const auto decision = std::find_if(plan.tracks.begin(), plan.tracks.end(),
                                           [index](const TrackDecision &d) { return d.index == index; });
        if (decision == plan.tracks.end())
            continue;
        item->setCheckState(KindColumn, decision->checked ? Qt::Checked : Qt::Unchecked);
        // A kind the panel switched off cannot be chosen here.
        Qt::ItemFlags flags = Qt::ItemIsUserCheckable;
        if (decision->switchable)
            flags |= Qt::ItemIsEnabled;
        item->setFlags(flags);
        item->setText(ReasonColumn, decision->reason);
        const QString tip =
            decision->instead.isEmpty() ? decision->reason : decision->reason + u' ' + decision->instead;
        for (int column = 0; column < columnCount(); ++column) {
            item->setToolTip(column, tip);
            // What stays out is greyed, so that the kept streams stand out.
            item->setForeground(column, decision->kept ? palette().text() : palette().placeholderText());
        }
    }
    fitColumns();
    m_filling = false;
    // The reasons may widen the columns beyond the list: a scroll bar then needs room.
    updateGeometry();
}

void TrackList::itemChecked(QTreeWidgetItem *item, int column)
{
    if (m_filling || column != KindColumn)
        return;
    m_checks[item->data(KindColumn, indexRole).toInt()] = item->checkState(KindColumn) == Qt::Checked;
    emit checksChanged();
}

void TrackList::fitColumns()
{
    // Columns that are empty in every row are hidden.
    for (int column = CodecColumn; column < columnCount(); ++column) {
        bool empty = true;
        for (int row = 0; row < topLevelItemCount() && empty; ++row)
            empty = topLevelItem(row)->text(column).isEmpty();
        setColumnHidden(column, empty);
    }
}

QSize TrackList::sizeHint() const
{
    // As high as its rows (up to ten), so that a simple file takes little room.
    const int rows = qBound(1, topLevelItemCount(), 10);
    const int rowHeight = topLevelItemCount() > 0 ? sizeHintForRow(0) : fontMetrics().height() + 4;
    // The header stays for every file, so that the rows keep their place from
    // one file to the next; a scroll bar below the columns is room taken too.
    int height = rows * rowHeight + header()->sizeHint().height() + 2 * frameWidth();
    if (header()->length() > viewport()->width())
        height += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return {QTreeWidget::sizeHint().width(), height};
}
