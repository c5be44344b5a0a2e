// The window TFrmLiveUpdate: layout, progress handlers, and whole runs
// against the scripted server, offscreen.

#include "application.h"
#include "notifier.h"
#include "scripted_http_server.h"
#include "temp_folder.h"
#include "uFrmLiveUpdate.h"
#include "update_server.h"

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

namespace {

const std::string kManifest(update_server::kManifestPath);

ScriptedReply ok(const std::string& body) {
    return ScriptedReply{ScriptedHttpServer::ok(body)};
}

QStringList lines(std::initializer_list<const char*> l) {
    QStringList out;
    for (const char* s : l)
        out << QString::fromUtf8(s);
    return out;
}

QStringList logOf(const TFrmLiveUpdate& w) {
    return w.MemoLog->toPlainText().split(QLatin1Char('\n'));
}

int requestsFor(const ScriptedHttpServer& server, const std::string& path) {
    int n = 0;
    for (const auto& r : server.requests())
        n += r.rfind("GET " + path + " ", 0) == 0;
    return n;
}

// A run file that records that it was started, and with which arguments.
void writeRunFile(const std::string& path) {
    writeFile(path, "#!/bin/sh\necho \"[$*]\" > \"$0.started\"\n");
    chmod(path.c_str(), 0755);
}

} // namespace

class TestFrmLiveUpdate : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedHttpServer> server;
    std::unique_ptr<TempFolder> app;

    std::string base() const { return server->baseUrl(); }
    void serveManifest(std::string body) {
        for (auto at = body.find("@BASE@"); at != std::string::npos; at = body.find("@BASE@"))
            body.replace(at, 6, base());
        server->route(kManifest, ok(body));
    }

private slots:
    void init() {
        server = std::make_unique<ScriptedHttpServer>();
        app = std::make_unique<TempFolder>();
        qputenv("QUORVEL_UPDATE_SERVER", QByteArray::fromStdString(base()));
        Notifier::setRecording(true);
    }
    void cleanup() {
        QVERIFY(Notifier::takeShown().isEmpty());
        server.reset();
        app.reset();
    }

    void layout() {
        serveManifest("");
        TFrmLiveUpdate w(app->path());
        QCOMPARE(w.windowTitle(), QStringLiteral("Tavrin-在线升级"));
        const auto flags = w.windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w.font().pixelSize(), 16);
        QCOMPARE(w.font().families().value(0), QStringLiteral("宋体"));

        QCOMPARE(w.ProgressBar1->geometry(), QRect(3, 8, 428, 17));
        QCOMPARE(w.ProgressBar1->minimum(), 0);
        QCOMPARE(w.ProgressBar1->maximum(), 100);
        QCOMPARE(w.ProgressBar1->value(), 0);
        QCOMPARE(w.MemoLog->geometry(), QRect(2, 31, 430, 218));
        QVERIFY(w.MemoLog->isReadOnly());
        QCOMPARE(w.MemoLog->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(w.MemoLog->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(w.MemoLog->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(w.MemoLog->toPlainText().isEmpty());

        w.show();
        QCOMPARE(w.frameGeometry().size(), QSize(446, 296));
        const QPoint centre = w.screen()->availableGeometry().center();
        QVERIFY((w.frameGeometry().center() - centre).manhattanLength() <= 2);
        // The empty manifest reply has no root: the program just ends.
        QTRY_VERIFY(w.hasEnded());
        QVERIFY(w.MemoLog->toPlainText().isEmpty());
    }

    void progressHandlers() {
        TFrmLiveUpdate w(app->path());
        QProgressBar& bar = *w.ProgressBar1;
        w.IdHttpObjWorkBegin(1000);
        QCOMPARE(bar.maximum(), 1000);
        QCOMPARE(bar.value(), 0);
        w.IdHttpObjWork(300);
        QCOMPARE(bar.value(), 300);
        w.IdHttpObjWorkEnd();
        QCOMPARE(bar.value(), 1000);
        // No announced length: maximum 0 (Qt draws that as a busy bar).
        w.IdHttpObjWorkBegin(0);
        QCOMPARE(bar.maximum(), 0);
        QCOMPARE(bar.minimum(), 0);
        QCOMPARE(bar.value(), 0);
        w.IdHttpObjWork(5000);
        QCOMPARE(bar.value(), 5000);
        w.IdHttpObjWorkEnd();
        QCOMPARE(bar.value(), 0);
        w.IdHttpObjWorkBegin(std::int64_t(1) << 40);
        QCOMPARE(bar.maximum(), INT_MAX);
    }

    void progressFollowsTransfers_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("known length")
            << QByteArray::fromStdString(ScriptedHttpServer::ok("0123456789"))
            << QStringList{"begin 10/0", "work 10/10", "end 10/10"};
        QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n"
                                               "Connection: close\r\n\r\n"
                                               "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n")
                                 << QStringList{"begin 3/0", "work 3/3", "end 3/3",
                                                "begin 2/0", "work 2/2", "end 2/2"};
        QTest::newRow("no length") << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"
                                                 "abcdef")
                                   << QStringList{"begin 0/0", "work 0/6", "end 0/0"};
        QTest::newRow("length zero")
            << QByteArray::fromStdString(ScriptedHttpServer::ok("")) << QStringList{};
    }

    void progressFollowsTransfers() {
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, events);
        server->route("/f", ScriptedReply{reply.toStdString()});
        TFrmLiveUpdate w(app->path());
        QStringList seen;
        const auto state = [&] {
            return QStringLiteral("%1/%2")
                .arg(w.ProgressBar1->maximum())
                .arg(w.ProgressBar1->value());
        };
        // Chain the window's own handlers and look at the bar after each.
        auto begin = w.IdHttpObj.onWorkBegin;
        auto work = w.IdHttpObj.onWork;
        auto end = w.IdHttpObj.onWorkEnd;
        w.IdHttpObj.onWorkBegin = [&](std::int64_t n) { begin(n), seen << "begin " + state(); };
        w.IdHttpObj.onWork = [&](std::int64_t n) { work(n), seen << "work " + state(); };
        w.IdHttpObj.onWorkEnd = [&] { end(), seen << "end " + state(); };
        QVERIFY(w.DownloadFile(base() + "/f", "f.bin"));
        QCOMPARE(seen, events);
    }

    void wholeRunStartsTheRunFileAndEnds() {
        writeRunFile(*app / "Quorvel");
        server->route("/a", ok("A"));
        server->route("/d", ok("D"));
        serveManifest("<u><FILE SOURCEFILE=\"@BASE@/a\" TARGETFILE=\"sub/a.txt\"/>"
                      "<FILE SOURCEFILE=\"@BASE@/d\" TARGETFILE=\"data.dll\"/></u>");
        TFrmLiveUpdate w(app->path());
        QSignalSpy ended(&w, &TFrmLiveUpdate::programEnded);
        w.show();
        QTRY_VERIFY(w.hasEnded());
        QCOMPARE(ended.count(), 1);
        QVERIFY(!w.isVisible());
        QCOMPARE(logOf(w), lines({"系统正在升级......", "sub/a.txt: 正在下载......成功!",
                                  "data.dll: 正在下载......成功!"}));
        QCOMPARE(w.ProgressBar1->value(), w.ProgressBar1->maximum());
        QCOMPARE(readFile(*app / "sub/a.txt"), std::string("A"));
        QTRY_VERIFY(exists(*app / "Quorvel.started"));
        QTRY_COMPARE(readFile(*app / "Quorvel.started"), std::string("[]\n"));
    }

    void failureShowsTheNoticeAndStartsNothing() {
        writeRunFile(*app / "Quorvel");
        server->route("/a", ScriptedReply{ScriptedHttpServer::reply(404, "Not Found", "")});
        serveManifest("<u><FILE SOURCEFILE=\"@BASE@/a\" TARGETFILE=\"a.txt\"/></u>");
        TFrmLiveUpdate w(app->path());
        w.show();
        QTRY_VERIFY(w.hasEnded());
        const auto boxes = Notifier::takeShown();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes[0].caption, QStringLiteral("系统升级提示"));
        QCOMPARE(boxes[0].text, QStringLiteral("升级失败,请重新升级或重新安装."));
        QVERIFY(boxes[0].owner.isNull());
        QCOMPARE(logOf(w), lines({"系统正在升级......", "a.txt: 正在下载......失败!"}));
        QTest::qWait(200);
        QVERIFY(!exists(*app / "Quorvel.started"));
    }

    void unreachableManifestEndsSilently() {
        server->route(kManifest, ScriptedReply{ScriptedHttpServer::reply(500, "Oops", "<u/>")});
        TFrmLiveUpdate w(app->path());
        w.show();
        QTRY_VERIFY(w.hasEnded());
        QVERIFY(w.MemoLog->toPlainText().isEmpty());
        QVERIFY(!w.isVisible());
    }

    void missingAttributeShowsTheErrorBoxAndStaysOpen() {
        writeRunFile(*app / "Quorvel");
        server->route("/a", ok("A"));
        server->route("/c", ok("C"));
        serveManifest("<u><FILE SOURCEFILE=\"@BASE@/a\" TARGETFILE=\"a.txt\"/>"
                      "<FILE TARGETFILE=\"b.txt\"/>"
                      "<FILE SOURCEFILE=\"@BASE@/c\" TARGETFILE=\"c.txt\"/></u>");
        TFrmLiveUpdate w(app->path());
        w.show();
        QList<ShownBox> boxes;
        QTRY_VERIFY((boxes += Notifier::takeShown(), !boxes.isEmpty()));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes[0].caption, QStringLiteral("Tavrin升级"));
        QCOMPARE(boxes[0].text, QStringLiteral("FILE 缺少属性 SOURCEFILE."));
        QVERIFY(!w.hasEnded());
        QVERIFY(!w.isRunning());
        QVERIFY(w.isVisible());
        QCOMPARE(logOf(w), lines({"系统正在升级......", "a.txt: 正在下载......成功!"}));
        QCOMPARE(requestsFor(*server, "/c"), 0);
        // Idle now: a close is taken at once, and nothing more happens.
        QVERIFY(w.close());
        QTest::qWait(200);
        QVERIFY(!exists(*app / "Quorvel.started"));
    }

    void closeAndReactivationDuringATransferLetTheRunFinish() {
        writeRunFile(*app / "Quorvel");
        server->route("/a", ok("A"));
        // Slices with pauses longer than the pump's 250 ms.
        ScriptedReply slow{ScriptedHttpServer::ok("slow body 12")};
        slow.sliceSize = 4;
        slow.slicePause = std::chrono::milliseconds(400);
        server->route("/b", slow);
        server->route("/c", ok("C"));
        serveManifest("<u><FILE SOURCEFILE=\"@BASE@/a\" TARGETFILE=\"a.txt\"/>"
                      "<FILE SOURCEFILE=\"@BASE@/b\" TARGETFILE=\"b.txt\"/>"
                      "<FILE SOURCEFILE=\"@BASE@/c\" TARGETFILE=\"c.txt\"/></u>");
        TFrmLiveUpdate w(app->path());
        QSignalSpy ended(&w, &TFrmLiveUpdate::programEnded);
        bool closedDuringB = false;
        QTimer poke;
        poke.setInterval(50);
        connect(&poke, &QTimer::timeout, &w, [&] {
            if (closedDuringB || requestsFor(*server, "/b") == 0 || !w.isRunning())
                return;
            closedDuringB = true;
            QEvent activate(QEvent::WindowActivate);
            QCoreApplication::sendEvent(&w, &activate);
            w.hide();
            w.show();
            QVERIFY(!w.close());
        });
        poke.start();
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(w.hasEnded(), 30000);
        QVERIFY(closedDuringB);
        QVERIFY(w.closeWasRequested());
        QCOMPARE(ended.count(), 1);
        QVERIFY(!w.isVisible());
        QCOMPARE(requestsFor(*server, kManifest), 1);
        QCOMPARE(logOf(w), lines({"系统正在升级......", "a.txt: 正在下载......成功!",
                                  "b.txt: 正在下载......成功!", "c.txt: 正在下载......成功!"}));
        QCOMPARE(readFile(*app / "b.txt"), std::string("slow body 12"));
        QCOMPARE(readFile(*app / "c.txt"), std::string("C"));
        QTRY_VERIFY(exists(*app / "Quorvel.started"));
    }

    // A close asked for during the run, then an entry that breaks the run:
    // the error box still waits for the user, and only then does the
    // program end. Runs inside the application's own loop, as the program
    // does, and with real boxes.
    void closeDuringARunThatBreaksOffEndsOnlyAfterTheErrorBox() {
        Notifier::setRecording(false);
        server->route("/a", ok("A"));
        ScriptedReply slow{ScriptedHttpServer::ok("slow body")};
        slow.sliceSize = 3;
        slow.slicePause = std::chrono::milliseconds(400);
        server->route("/b", slow);
        serveManifest("<u><FILE SOURCEFILE=\"@BASE@/b\" TARGETFILE=\"b.txt\"/>"
                      "<FILE TARGETFILE=\"x.txt\"/>"
                      "<FILE SOURCEFILE=\"@BASE@/a\" TARGETFILE=\"a.txt\"/></u>");
        TFrmLiveUpdate w(app->path());
        QString boxText;
        bool boxAnswered = false;
        QTimer poke;
        poke.setInterval(50);
        connect(&poke, &QTimer::timeout, &w, [&] {
            if (w.isRunning() && !w.closeWasRequested() && requestsFor(*server, "/b") == 1)
                w.close();
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            if (boxText.isEmpty()) {
                boxText = box->text();
                // Leave it up for a while: nothing may take it down meanwhile.
                QTimer::singleShot(500, box, [&boxAnswered, box] {
                    boxAnswered = true;
                    box->button(QMessageBox::Ok)->click();
                });
            }
        });
        poke.start();
        QTimer bound;
        bound.setSingleShot(true);
        connect(&bound, &QTimer::timeout, qApp, &QCoreApplication::quit);
        bound.start(20000);
        w.show();
        QCoreApplication::exec();
        poke.stop();
        QVERIFY(w.closeWasRequested());
        QCOMPARE(boxText, QStringLiteral("FILE 缺少属性 SOURCEFILE."));
        QVERIFY(boxAnswered);
        QVERIFY(!w.isVisible());
        QCOMPARE(requestsFor(*server, "/a"), 0);
        QCOMPARE(logOf(w), lines({"系统正在升级......", "b.txt: 正在下载......成功!"}));
        Notifier::setRecording(true);
    }
};

int main(int argc, char** argv) {
    // The marker of a running updater lives in the runtime folder: keep this
    // test's own.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qunsetenv("http_proxy");
    qunsetenv("HTTP_PROXY");
    Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tavrin升级"));
    TestFrmLiveUpdate t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_uFrmLiveUpdate.moc"
