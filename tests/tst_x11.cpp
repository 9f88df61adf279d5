// The real program on a real X server (Xvfb): its maximized window, closing it
// from the title bar, and the start-up check with the converter hidden.
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "testsupport.h"

using namespace Qt::StringLiterals;

class X11Test : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void mapsMaximizedWindowAndClosesWithZero();
    void missingConverterShowsBoxAndEndsWithTwo();
    void converterOnlyOnPathStarts();
    void filesFromCommandLine();
    void helpWithoutDisplay();
    void dropFromFileManager();

private:
    Window findWindow(const QByteArray &title, int timeoutMs);
    bool isMaximized(Window w);
    void closeFromTitleBar(Window w);
    bool startHidden(QProcess &run, const QString &path);
    static bool canHideUsrBin();

    QProcess xvfb;
    QByteArray displayName;
    Display *display = nullptr;
};

void X11Test::initTestCase()
{
    QTemporaryFile displayFile;
    QVERIFY(displayFile.open());
    // Xvfb writes the display number it took to the given descriptor.
    xvfb.setStandardOutputFile(displayFile.fileName());
    xvfb.start(u"Xvfb"_s,
               {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x900x24"_s, u"-nolisten"_s, u"tcp"_s});
    QVERIFY2(xvfb.waitForStarted(10000), "Xvfb is needed for this test (package xvfb)");
    QTRY_VERIFY_WITH_TIMEOUT(displayFile.size() > 0, 10000);
    displayFile.seek(0);
    displayName = ':' + displayFile.readAll().trimmed();
    display = XOpenDisplay(displayName.constData());
    QVERIFY(display);
}

void X11Test::cleanupTestCase()
{
    if (display)
        XCloseDisplay(display);
    xvfb.terminate();
    xvfb.waitForFinished(5000);
}

static QByteArray windowName(Display *d, Window w)
{
    char *name = nullptr;
    QByteArray result;
    if (XFetchName(d, w, &name) && name) {
        result = name;
        XFree(name);
    }
    return result;
}

Window X11Test::findWindow(const QByteArray &title, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && !found; ++i) {
                XWindowAttributes attributes;
                if (windowName(display, children[i]) == title &&
                    XGetWindowAttributes(display, children[i], &attributes) &&
                    attributes.map_state == IsViewable)
                    found = children[i];
            }
            if (children)
                XFree(children);
        }
        if (found)
            return found;
        QTest::qWait(50);
    }
    return 0;
}

bool X11Test::isMaximized(Window w)
{
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom vert = XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_VERT", False);
    const Atom horz = XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    bool v = false, h = false;
    if (XGetWindowProperty(display, w, state, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        const Atom *atoms = reinterpret_cast<const Atom *>(data);
        for (unsigned long i = 0; i < count; ++i) {
            v |= atoms[i] == vert;
            h |= atoms[i] == horz;
        }
        XFree(data);
    }
    return v && h;
}

// What the close button of a window manager does: the WM_DELETE_WINDOW request.
void X11Test::closeFromTitleBar(Window w)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, w, False, NoEventMask, &event);
    XFlush(display);
}

bool X11Test::canHideUsrBin()
{
    QProcess probe;
    probe.start(u"unshare"_s,
                {u"-m"_s, u"sh"_s, u"-c"_s, u"mount -t tmpfs none /usr/bin && test ! -e /usr/bin/ffmpeg"_s});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

// Starts the program with an empty /usr/bin (a tmpfs in a mount namespace of its
// own) and PATH set to `path`.
bool X11Test::startHidden(QProcess &run, const QString &path)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PATH"_s, path);
    env.insert(u"DISPLAY"_s, QString::fromLatin1(displayName));
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    run.setProcessEnvironment(env);
    run.start(u"/usr/bin/unshare"_s,
              {u"-m"_s, u"/bin/sh"_s, u"-c"_s, u"/usr/bin/mount -t tmpfs none /usr/bin && exec \"$0\""_s,
               QStringLiteral(QUORVID_BINARY)});
    return run.waitForStarted(10000);
}

void X11Test::mapsMaximizedWindowAndClosesWithZero()
{
    FakeConverter fake;
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, QString::fromLatin1(displayName));
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(QUORVID_BINARY), QStringList());
    QVERIFY(run.waitForStarted());
    const Window w = findWindow("Quorvid 2.2", 15000);
    QVERIFY2(w, "no mapped window titled \"Quorvid 2.2\"");
    QVERIFY(isMaximized(w));
    closeFromTitleBar(w);
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 0);
}

void X11Test::missingConverterShowsBoxAndEndsWithTwo()
{
    if (!canHideUsrBin())
        QSKIP("no mount namespace allowed here (needs root): /usr/bin cannot be hidden");
    QTemporaryDir emptyPath;
    QProcess run;
    QVERIFY(startHidden(run, emptyPath.path()));
    QVERIFY2(findWindow("Quorvid 2.2", 15000), "the window opens behind the box");
    const Window box = findWindow("Quorvid Fehler", 15000);
    QVERIFY2(box, "no box titled \"Quorvid Fehler\"");
    closeFromTitleBar(box);
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 2);
}

void X11Test::converterOnlyOnPathStarts()
{
    if (!canHideUsrBin())
        QSKIP("no mount namespace allowed here (needs root): /usr/bin cannot be hidden");
    FakeConverter fake;
    QProcess run;
    QVERIFY(startHidden(run, fake.directory()));
    const Window w = findWindow("Quorvid 2.2", 15000);
    QVERIFY(w);
    // The check runs as soon as the event loop does; give a loaded machine ample
    // time before taking the box's absence as the converter's acceptance.
    QVERIFY2(!findWindow("Quorvid Fehler", 3000), "the converter on PATH was not accepted");
    closeFromTitleBar(w);
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.exitCode(), 0);
}

void X11Test::filesFromCommandLine()
{
    FakeConverter fake;
    QTemporaryDir dir;
    QVERIFY(QFile(dir.filePath(u"clip.avi"_s)).open(QIODevice::WriteOnly));
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, QString::fromLatin1(displayName));
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    run.setProcessEnvironment(env);
    run.setWorkingDirectory(dir.path());
    run.start(QStringLiteral(QUORVID_BINARY), {u"clip.avi"_s, u"missing.avi"_s});
    QVERIFY(run.waitForStarted());
    const Window w = findWindow("Quorvid 2.2", 15000);
    QVERIFY(w);
    // The one usable file is opened (its information is read), the missing one named.
    const Window box = findWindow("Quorvid Fehler", 15000);
    QVERIFY2(box, "no box naming the missing file");
    QTRY_VERIFY(fake.runs().contains(QStringList{u"-i"_s, dir.filePath(u"clip.avi"_s)}));
    closeFromTitleBar(box);
    QTest::qWait(300);
    closeFromTitleBar(w);
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.exitCode(), 0);
}

// Drops a list of addresses onto the window at (x, y) as a file manager does, by
// the X drag-and-drop protocol; true once the window has finished the drop.
static bool xdndDrop(Display *d, Window target, int x, int y, const QByteArray &uriList)
{
    const auto atom = [d](const char *name) { return XInternAtom(d, name, False); };
    const Atom uriType = atom("text/uri-list");
    const Window source = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(d, atom("XdndSelection"), source, CurrentTime);
    const auto send = [&](const char *type, long l1, long l2, long l3, long l4) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = target;
        e.xclient.message_type = atom(type);
        e.xclient.format = 32;
        e.xclient.data.l[0] = long(source);
        e.xclient.data.l[1] = l1;
        e.xclient.data.l[2] = l2;
        e.xclient.data.l[3] = l3;
        e.xclient.data.l[4] = l4;
        XSendEvent(d, target, False, NoEventMask, &e);
        XFlush(d);
    };
    send("XdndEnter", 5L << 24, long(uriType), 0, 0);
    send("XdndPosition", 0, (long(x) << 16) | y, CurrentTime, long(atom("XdndActionCopy")));
    bool dropped = false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == ClientMessage && e.xclient.message_type == atom("XdndStatus") && !dropped) {
                if (!(e.xclient.data.l[1] & 1))
                    return false; // refused
                send("XdndDrop", 0, CurrentTime, 0, 0);
                dropped = true;
            } else if (e.type == ClientMessage && e.xclient.message_type == atom("XdndFinished")) {
                XDestroyWindow(d, source);
                return true;
            } else if (e.type == SelectionRequest) {
                XSelectionRequestEvent &request = e.xselectionrequest;
                XEvent notify{};
                notify.xselection.type = SelectionNotify;
                notify.xselection.requestor = request.requestor;
                notify.xselection.selection = request.selection;
                notify.xselection.target = request.target;
                notify.xselection.time = request.time;
                notify.xselection.property = None;
                if (request.target == uriType) {
                    XChangeProperty(d, request.requestor, request.property, uriType, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char *>(uriList.constData()),
                                    int(uriList.size()));
                    notify.xselection.property = request.property;
                }
                XSendEvent(d, request.requestor, False, NoEventMask, &notify);
                XFlush(d);
            }
        }
        QTest::qWait(20);
    }
    return false;
}

void X11Test::dropFromFileManager()
{
    FakeConverter fake;
    QTemporaryDir dir;
    const QString clip = dir.filePath(u"ein Clip ü.avi"_s);
    QVERIFY(QFile(clip).open(QIODevice::WriteOnly));
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, QString::fromLatin1(displayName));
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(QUORVID_BINARY), QStringList());
    QVERIFY(run.waitForStarted());
    const Window w = findWindow("Quorvid 2.2", 15000);
    QVERIFY(w);
    QTest::qWait(300);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display, w, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, w, &attributes);
    // Onto the upper part of the window: the file opens as the input.
    QVERIFY(xdndDrop(display, w, x + attributes.width / 2, y + 60,
                     QUrl::fromLocalFile(clip).toEncoded() + "\r\n"));
    QTRY_VERIFY(fake.runs().contains(QStringList{u"-i"_s, clip}));
    closeFromTitleBar(w);
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.exitCode(), 0);
}

void X11Test::helpWithoutDisplay()
{
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(QUORVID_BINARY), {u"--help"_s});
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.exitCode(), 0);
    const QString help = QString::fromUtf8(run.readAllStandardOutput());
    QVERIFY2(help.contains(u"Zeigt Hilfe"_s) && help.contains(u"--run <Liste>"_s), qPrintable(help));
}

QTEST_GUILESS_MAIN(X11Test)
#include "tst_x11.moc"
