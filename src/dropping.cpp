#include "dropping.h"

#include <QDir>
#include <QDirIterator>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include "batchfile.h"

#include <dirent.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// A file name's bytes as text: valid UTF-8 as it is, every other byte as "\xNN".
QString visibleBytes(const QByteArray &bytes)
{
    QString shown;
    for (qsizetype i = 0; i < bytes.size();) {
        // The longest run that decodes cleanly is taken whole.
        qsizetype end = i;
        while (end < bytes.size()) {
            const unsigned char c = uchar(bytes[end]);
            const int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
            if (length == 0 || end + length > bytes.size())
                break;
            const QByteArray piece = bytes.mid(end, length);
            if (QString::fromUtf8(piece).toUtf8() != piece)
                break;
            end += length;
        }
        shown += QString::fromUtf8(bytes.mid(i, end - i));
        if (end < bytes.size()) {
            shown += u"\\x"_s + QString::number(uchar(bytes[end]), 16).toUpper().rightJustified(2, u'0');
            ++end;
        }
        i = end;
    }
    return shown;
}

// The entries of one folder whose names do not survive the way to a QString and
// back: media files and folders among them are named, for the converter could
// never be given their names.
void addUndecodable(FileSelection &selection, const QString &folder)
{
    const QByteArray encoded = QFile::encodeName(folder);
    DIR *dir = ::opendir(encoded.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (QFile::encodeName(QFile::decodeName(name)) == name)
            continue;
        const bool isFolder = entry->d_type == DT_DIR;
        if (isFolder || isMediaFileName(QFile::decodeName(name)))
            selection.unnamed << QDir::toNativeSeparators(folder) + u'/' + visibleBytes(name);
    }
    ::closedir(dir);
}

void addPath(FileSelection &selection, const QString &path, const QString &skipFolder = QString())
{
    const QFileInfo info(path);
    if (info.isDir() && info.isReadable()) {
        selection.folderGiven = true;
        // Hidden files and linked folders are left out: a link back up the tree
        // would make the walk endless.
        addUndecodable(selection, info.absoluteFilePath());
        QDirIterator walk(info.absoluteFilePath(),
                          QDir::Files | QDir::AllDirs | QDir::System | QDir::Readable | QDir::NoDotAndDotDot,
                          QDirIterator::Subdirectories);
        QStringList skipped; // folders left out, each with a "/" at its end
        while (walk.hasNext()) {
            const QString file = walk.next();
            const QFileInfo found = walk.fileInfo();
            if (std::any_of(skipped.begin(), skipped.end(),
                            [&](const QString &s) { return file.startsWith(s); }))
                continue;
            if (found.isDir()) {
                if (!skipFolder.isEmpty() && found.canonicalFilePath() == skipFolder)
                    skipped << file + u'/';
                else if (!found.isSymLink())
                    addUndecodable(selection, file);
            } else if (!isMediaFileName(file) || !QFileInfo::exists(file)) {
                // Not a media file, or one whose name did not survive decoding:
                // the latter is named by addUndecodable.
            } else if (found.isFile()) {
                selection.files << file;
            } else {
                selection.irregular << QDir::toNativeSeparators(file);
            }
        }
    } else if (info.isFile() && info.isReadable()) {
        selection.files << info.absoluteFilePath();
    } else if (info.exists() && !info.isDir()) {
        selection.irregular << QDir::toNativeSeparators(info.absoluteFilePath());
    } else {
        selection.unusable << QDir::toNativeSeparators(info.absoluteFilePath());
    }
}

void sortFiles(FileSelection &selection)
{
    std::sort(selection.files.begin(), selection.files.end(), caseInsensitiveLessThan);
}

} // namespace

FileSelection selectFromUrls(const QList<QUrl> &urls)
{
    FileSelection selection;
    for (const QUrl &url : urls) {
        // "file://localhost/..." is this machine; any other host is a network share.
        const bool local = url.isLocalFile() && (url.host().isEmpty() || url.host() == u"localhost"_s);
        if (!local) {
            selection.remote << url.toDisplayString(QUrl::RemovePassword);
            continue;
        }
        QUrl withoutHost = url;
        withoutHost.setHost(QString());
        addPath(selection, withoutHost.toLocalFile());
    }
    sortFiles(selection);
    return selection;
}

FileSelection selectFromPaths(const QStringList &paths, const QString &skipFolder)
{
    FileSelection selection;
    const QString skip = skipFolder.isEmpty() ? QString() : QFileInfo(skipFolder).canonicalFilePath();
    for (const QString &path : paths)
        addPath(selection, QDir::current().absoluteFilePath(path), skip);
    sortFiles(selection);
    // One file named twice ("h.mp4 ./h.mp4", a link to it) is one file.
    QSet<QString> seen;
    QStringList once;
    for (const QString &file : std::as_const(selection.files)) {
        const QString canonical = QFileInfo(file).canonicalFilePath();
        if (!seen.contains(canonical.isEmpty() ? file : canonical)) {
            seen.insert(canonical.isEmpty() ? file : canonical);
            once << file;
        }
    }
    selection.files = once;
    return selection;
}

const QStringList &videoSuffixes()
{
    // The dialog's original seven first, then the containers of today.
    static const QStringList suffixes{u"avi"_s, u"mpg"_s, u"mpeg"_s, u"flv"_s, u"wmv"_s, u"mp4"_s,
                                      u"mov"_s, u"mkv"_s, u"webm"_s, u"m4v"_s, u"ts"_s,  u"m2ts"_s,
                                      u"mts"_s, u"vob"_s, u"ogv"_s,  u"3gp"_s, u"mxf"_s, u"asf"_s};
    return suffixes;
}

const QStringList &audioSuffixes()
{
    static const QStringList suffixes{u"mp3"_s, u"wav"_s, u"m4a"_s, u"ogg"_s, u"oga"_s, u"opus"_s, u"flac"_s,
                                      u"aac"_s, u"ac3"_s, u"mp2"_s, u"wma"_s, u"aif"_s, u"aiff"_s, u"mka"_s};
    return suffixes;
}

bool isMediaFileName(const QString &name)
{
    const QString suffix = QFileInfo(name).suffix().toLower();
    return !suffix.isEmpty() && (videoSuffixes().contains(suffix) || audioSuffixes().contains(suffix));
}

QString mediaDialogFilter()
{
    const auto patterns = [](const QStringList &suffixes) {
        QStringList list;
        for (const QString &suffix : suffixes)
            list << u"*."_s + suffix;
        return list.join(u' ');
    };
    return u"video ("_s + patterns(videoSuffixes()) + u");;audio ("_s + patterns(audioSuffixes()) +
           u");;All Files(*.*)"_s;
}

FileDropTarget::FileDropTarget(QWidget *widget, Taker take) : QObject(widget), m_take(std::move(take))
{
    widget->setAcceptDrops(true);
    widget->installEventFilter(this);
}

bool FileDropTarget::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDropEvent *>(event);
        if (!drag->mimeData()->hasUrls())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!drop->mimeData()->hasUrls())
            return false;
        drop->acceptProposedAction();
        // The mime data belongs to the drag and dies with it: keep the addresses.
        const QList<QUrl> urls = drop->mimeData()->urls();
        QTimer::singleShot(0, this, [this, urls] { m_take(urls); });
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
