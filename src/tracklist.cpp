#include "tracklist.h"

#include <QHeaderView>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
constexpr int indexRole = Qt::UserRole;

// One video and one audio stream and nothing else: the list is as plain as the
// file, two rows without a header.
bool simpleFile(const MediaFacts &facts)
{
    int video = 0;
    int audio = 0;
    for (const StreamFacts &s : facts.streams) {
        if (s.kind == StreamFacts::Kind::Video)
            ++video;
        else if (s.kind == StreamFacts::Kind::Audio)
            ++audio;
        else
            return false;
    }
    return video <= 1 && audio <= 1;
}
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
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(ReasonColumn, QHeaderView::Stretch);
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
    setHeaderHidden(simpleFile(facts));
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
    const int headerHeight = isHeaderHidden() ? 0 : header()->sizeHint().height();
    return {QTreeWidget::sizeHint().width(), rows * rowHeight + headerHeight + 2 * frameWidth()};
}
