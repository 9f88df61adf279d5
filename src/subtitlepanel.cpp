#include "subtitlepanel.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

#include "messagebox.h"
#include "subtitlefiles.h"
#include "tracklist.h"
#include "ui_mainwindow.h"

using namespace Qt::StringLiterals;

namespace {
constexpr int fromRole = Qt::UserRole;
constexpr int indexRole = Qt::UserRole + 1;
} // namespace

SubtitlePanel::SubtitlePanel(Ui::MainWindow &form, QFont &font, QWidget *window)
    : QObject(window), m_form(form), m_font(font), m_window(window)
{
    connect(m_form.addSubtitleButton, &QPushButton::clicked, this, &SubtitlePanel::chooseFiles);
    connect(m_form.trackList, &TrackList::addedChanged, this, &SubtitlePanel::edited);
    connect(m_form.burnInComboBox, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            emit changed();
    });
    fillBurnChoice();
    showRow(false);
}

void SubtitlePanel::showRow(bool video)
{
    // Subtitles go with a picture: the row is there once the opened file shows one.
    for (QWidget *widget :
         {static_cast<QWidget *>(m_form.addSubtitleButton), static_cast<QWidget *>(m_form.burnInLabel),
          static_cast<QWidget *>(m_form.burnInComboBox)})
        widget->setVisible(video);
}

void SubtitlePanel::readInto(PanelSettings &settings) const
{
    const BurnIn burn = chosenBurn();
    settings.subtitleFiles = jobSubtitles(m_entries, burn);
    settings.burnIn = jobBurnIn(m_entries, burn);
}

void SubtitlePanel::opened(const QString &video)
{
    forget();
    QMetaObject::invokeMethod(
        this,
        [this, video] {
            if (m_form.openLineEdit->text() == video)
                offerBeside(video);
        },
        Qt::QueuedConnection);
}

void SubtitlePanel::forget()
{
    m_entries.clear();
    m_sourceSubtitles.clear();
    showRow(false);
    showEntries();
}

void SubtitlePanel::showFacts(const MediaFacts &facts)
{
    m_sourceSubtitles.clear();
    showRow(std::any_of(facts.streams.begin(), facts.streams.end(),
                        [](const StreamFacts &s) { return s.kind == StreamFacts::Kind::Video; }));
    for (const StreamFacts &stream : facts.streams)
        if (stream.kind == StreamFacts::Kind::Subtitle)
            m_sourceSubtitles << stream;
    showEntries();
}

void SubtitlePanel::offerBeside(const QString &video)
{
    QStringList beside = subtitlesBeside(video);
    for (const AddedEntry &entry : std::as_const(m_entries))
        beside.removeAll(entry.subtitle.path);
    if (beside.isEmpty())
        return;
    QStringList names;
    for (const QString &file : std::as_const(beside))
        names << QFileInfo(file).fileName().toHtmlEscaped();
    if (askYesNo(m_font, tr("<b>Neben der Datei liegen Untertitel:</b><br><br>%1<br><br>Sollen sie als "
                            "Untertitelspuren hinzugefügt werden?")
                             .arg(names.join(u"<br>"_s))))
        add(beside);
}

void SubtitlePanel::chooseFiles()
{
    const QString opened = m_form.openLineEdit->text();
    const QStringList chosen =
        QFileDialog::getOpenFileNames(m_window, tr("Untertiteldatei hinzufügen"),
                                      opened.isEmpty() ? QDir::homePath() : QFileInfo(opened).path(),
                                      tr("Untertitel (*.srt *.ass *.ssa *.vtt)"));
    add(chosen);
}

void SubtitlePanel::add(const QStringList &paths)
{
    QStringList refused;
    for (const QString &path : paths) {
        if (const QString refusal = subtitleFileRefusal(path); !refusal.isEmpty()) {
            refused << tr("%1: %2").arg(QDir::toNativeSeparators(path), refusal).toHtmlEscaped();
            continue;
        }
        const bool known = std::any_of(m_entries.begin(), m_entries.end(),
                                       [&path](const AddedEntry &e) { return e.subtitle.path == path; });
        if (!known)
            m_entries << AddedEntry{addedSubtitle(path), true};
    }
    showEntries();
    if (!refused.isEmpty())
        showErrorBox(m_font,
                     tr("<b>Diese Untertiteldatei kann nicht hinzugefügt werden:</b><br><br>%1<br><br>"
                        "Bitte wählen Sie eine Untertiteldatei (SRT, ASS, SSA oder WebVTT).")
                         .arg(refused.join(u"<br>"_s)));
}

void SubtitlePanel::edited(int index, bool kept, const QString &language, const QString &title)
{
    if (index < 0 || index >= m_entries.size())
        return;
    AddedEntry &entry = m_entries[index];
    bool known = false;
    const QString tag = typedLanguage(language, &known);
    if (known)
        entry.subtitle.language = tag;
    else
        emit message(tr("„%1“ ist keine bekannte Sprache. Bitte geben Sie sie etwa als „de“, „Deutsch“ oder "
                        "„ger“ ein.")
                         .arg(language));
    entry.kept = kept;
    entry.subtitle.title = title.trimmed();
    // The row shows the tag once the list has finished with the edit.
    QMetaObject::invokeMethod(this, &SubtitlePanel::showEntries, Qt::QueuedConnection);
}

void SubtitlePanel::showEntries()
{
    QList<AddedSubtitle> subtitles;
    QList<bool> kept;
    for (const AddedEntry &entry : std::as_const(m_entries)) {
        subtitles << entry.subtitle;
        kept << entry.kept;
    }
    m_form.trackList->setAddedSubtitles(subtitles, kept);
    fillBurnChoice();
    emit changed();
}

void SubtitlePanel::fillBurnChoice()
{
    QComboBox *box = m_form.burnInComboBox;
    const BurnIn before = chosenBurn();
    m_filling = true;
    box->clear();
    box->addItem(tr("keine"), int(BurnIn::From::None));
    box->setItemData(0, -1, indexRole);
    for (const StreamFacts &stream : std::as_const(m_sourceSubtitles)) {
        box->addItem(burnChoiceText(stream), int(BurnIn::From::Source));
        box->setItemData(box->count() - 1, stream.index, indexRole);
    }
    for (int i = 0; i < int(m_entries.size()); ++i) {
        box->addItem(tr("Datei %1").arg(QFileInfo(m_entries[i].subtitle.path).fileName()),
                     int(BurnIn::From::Added));
        box->setItemData(box->count() - 1, i, indexRole);
    }
    // The choice stays while its track is still there.
    int chosen = 0;
    for (int row = 1; row < box->count(); ++row)
        if (box->itemData(row, fromRole).toInt() == int(before.from) &&
            box->itemData(row, indexRole).toInt() == before.index)
            chosen = row;
    box->setCurrentIndex(chosen);
    box->setEnabled(box->count() > 1);
    m_filling = false;
}

BurnIn SubtitlePanel::chosenBurn() const
{
    const QComboBox *box = m_form.burnInComboBox;
    if (box->currentIndex() <= 0)
        return {};
    return {BurnIn::From(box->currentData(fromRole).toInt()), box->currentData(indexRole).toInt()};
}
