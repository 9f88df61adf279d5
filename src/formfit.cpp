#include "formfit.h"

#include <QLayout>
#include <QList>
#include <QRect>
#include <QWidget>

#include <algorithm>

namespace {
// The size a child needs: what its layout asks for where it holds one, otherwise
// its own size hint. Maximum sizes below that are lifted: a fixed form size must
// not cut a text.
QSize neededSize(QWidget *child)
{
    if (QLayout *layout = child->layout()) {
        for (int i = 0; i < layout->count(); ++i) {
            if (QWidget *inner = layout->itemAt(i)->widget()) {
                const QSize hint = inner->sizeHint();
                inner->setMaximumSize(inner->maximumSize().expandedTo(hint));
            }
        }
        layout->invalidate();
        return layout->sizeHint();
    }
    // A widget without a hint of its own (a group box laid out by hand) needs what
    // it was given as its minimum.
    return child->sizeHint().expandedTo(child->minimumSize());
}

bool rowsOverlap(const QRect &a, const QRect &b)
{
    return a.top() <= b.bottom() && b.top() <= a.bottom();
}

bool columnsOverlap(const QRect &a, const QRect &b)
{
    return a.left() <= b.right() && b.left() <= a.right();
}
} // namespace

void giveTextsRoom(QWidget *container)
{
    QList<QWidget *> children;
    for (QObject *object : container->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (child && !child->isWindow())
            children << child;
    }
    const int count = int(children.size());
    QList<QRect> before, after;
    for (QWidget *child : std::as_const(children)) {
        before << child->geometry();
        after << QRect(child->pos(), child->size().expandedTo(neededSize(child)));
    }

    // Push neighbours right of and below a grown child along, keeping the gap they
    // had; repeat until nothing moves (each pass moves widgets only right or down,
    // so this ends).
    for (int pass = 0; pass < count * count + 1; ++pass) {
        bool moved = false;
        for (int a = 0; a < count; ++a) {
            for (int b = 0; b < count; ++b) {
                if (a == b)
                    continue;
                const QRect &was = before[a];
                const QRect &other = before[b];
                if (rowsOverlap(was, other) && other.left() > was.right()) {
                    const int gap = other.left() - was.right();
                    const int shortBy = after[a].right() + gap - after[b].left();
                    if (shortBy > 0) {
                        after[b].translate(shortBy, 0);
                        moved = true;
                    }
                } else if (columnsOverlap(was, other) && other.top() > was.bottom()) {
                    const int gap = other.top() - was.bottom();
                    const int shortBy = after[a].bottom() + gap - after[b].top();
                    if (shortBy > 0) {
                        after[b].translate(0, shortBy);
                        moved = true;
                    }
                }
            }
        }
        if (!moved)
            break;
    }

    // The container is as wide as its children need, with a small margin beyond
    // them (at most the one it had): room it held unused beside them goes to the
    // widgets that need it, so that the window keeps its size where it can. It
    // grows in height only where its children need more.
    QRect usedBefore, usedAfter;
    for (int i = 0; i < count; ++i) {
        children[i]->setGeometry(after[i]);
        usedBefore |= before[i];
        usedAfter |= after[i];
    }
    const QSize room = container->minimumSize();
    constexpr int smallMargin = 10;
    const int rightMargin = std::clamp(room.width() - usedBefore.right() - 1, 0, smallMargin);
    const int bottomMargin = std::clamp(room.height() - usedBefore.bottom() - 1, 0, smallMargin);
    // A group box's own title needs room too.
    const QSize needed = QSize(usedAfter.right() + 1 + rightMargin, usedAfter.bottom() + 1 + bottomMargin)
                             .expandedTo(container->minimumSizeHint());
    container->setMaximumSize(container->maximumSize().expandedTo(needed));
    container->setMinimumSize(needed.width(), std::max(needed.height(), container->minimumHeight()));
}
