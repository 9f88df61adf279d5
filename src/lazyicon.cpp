#include "lazyicon.h"

#include <QIconEngine>
#include <QPainter>

namespace {
class LazyIconEngine : public QIconEngine
{
public:
    LazyIconEngine(const QString &path, QSize size) : m_path(path), m_size(size) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        loaded().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return loaded().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return loaded().pixmap(size, scale, mode, state);
    }
    // As a picture of that size would answer: never larger than asked for or
    // than itself.
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return m_size.width() <= size.width() && m_size.height() <= size.height()
                   ? m_size
                   : m_size.scaled(size, Qt::KeepAspectRatio);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {m_size}; }
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("LazyIconEngine"); }
    QIconEngine *clone() const override { return new LazyIconEngine(*this); }

private:
    const QIcon &loaded()
    {
        if (m_icon.isNull())
            m_icon = QIcon(m_path);
        return m_icon;
    }

    QString m_path;
    QSize m_size;
    QIcon m_icon;
};
} // namespace

QIcon lazyIcon(const QString &path, QSize size)
{
    return QIcon(new LazyIconEngine(path, size));
}
