#include "tracklist.h"

#include <QHeaderView>

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "subtitlefiles.h"

using namespace Qt::StringLiterals;

namespace {
constexpr int indexRole = Qt::UserRole;
// Added files' rows carry -1 - their place in the list, below every stream index.
int addedPlace(const QTreeWidgetItem *item)
{
    const int index = item->data(TrackList::KindColumn, indexRole).toInt();
    return index < 0 ? -1 - index : -1;
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
    // Only the language and title of added files are typed over, on a double click.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item, int column) {
        if (addedPlace(item) >= 0 && (column == LanguageColumn || column == TitleColumn))
            editItem(item, column);
    });
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
    addAddedRows();
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

void TrackList::setAddedSubtitles(const QList<AddedSubtitle> &subtitles, const QList<bool> &kept)
{
    m_filling = true;
    m_added = subtitles;
    m_addedKept = kept;
    for (int row = topLevelItemCount() - 1; row >= 0; --row)
        if (addedPlace(topLevelItem(row)) >= 0)
            delete takeTopLevelItem(row);
    addAddedRows();
    fitColumns();
    m_filling = false;
    updateGeometry();
}

void TrackList::addAddedRows()
{
    for (int i = 0; i < int(m_added.size()); ++i) {
        const AddedSubtitle &subtitle = m_added[i];
        auto *item = new QTreeWidgetItem(this);
        item->setData(KindColumn, indexRole, -1 - i);
        item->setText(KindColumn, tr("Untertitel (Datei)"));
        item->setText(CodecColumn, subtitleFileCodec(subtitle.path));
        item->setText(LanguageColumn, subtitle.language);
        item->setText(TitleColumn, subtitle.title);
        item->setText(DetailsColumn, QFileInfo(subtitle.path).fileName());
        item->setText(DefaultColumn, QString());
        item->setText(ReasonColumn, subtitle.forced ? tr("nur erzwungene Untertitel") : QString());
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
        item->setCheckState(KindColumn, m_addedKept.value(i, true) ? Qt::Checked : Qt::Unchecked);
        const QString tip = tr("Hinzugefügt aus %1. Sprache und Titel ändern Sie mit einem Doppelklick.")
                                .arg(QDir::toNativeSeparators(subtitle.path));
        for (int column = 0; column < columnCount(); ++column)
            item->setToolTip(column, tip);
    }
}

void TrackList::itemChecked(QTreeWidgetItem *item, int column)
{
    if (m_filling)
        return;
    if (const int place = addedPlace(item); place >= 0) {
        emit addedChanged(place, item->checkState(KindColumn) == Qt::Checked, item->text(LanguageColumn),
                          item->text(TitleColumn));
        return;
    }
    if (column != KindColumn)
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
