// The window's layout and start states, the clock, and the HTML pane on its
// own: link navigation, content scripts, ordering of DOM work.
#include "application.h"
#include "fixture_db.h"
#include "html_pane.h"
#include "notifier.h"
#include "pane_driver.h"
#include "scripted_http_server.h"
#include "test_files.h"
#include "ufrmWord.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <sqlite3.h>

using namespace pane_driver;

namespace {

std::string folderOf(const QTemporaryDir& dir) {
    return dir.path().toStdString() + "/";
}

// True when the pane shows no scroll bar in either direction.
bool withoutScrollBars(HtmlPane* pane) {
    return eval(pane, QStringLiteral("window.innerWidth===document.documentElement.clientWidth&&"
                                     "window.innerHeight===document.documentElement.clientHeight&&"
                                     "getComputedStyle(document.body).overflow==='hidden'"))
        .toBool();
}

} // namespace

class FrmWordWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Notifier::setRecording(true); }
    void init() { Notifier::takeShown(); }

    void layoutAndComponents();
    void connectedStartShowsBlankPanesWithoutScrollBars();
    void startStatesWithoutUsableDatabase_data();
    void startStatesWithoutUsableDatabase();
    void clockText_data();
    void clockText();
    void clockTicksAfterStart();

    void paneWithoutDocumentDoesNothing();
    void paneAppliesQueuedWorkInOrder();
    void linkClicksReachTheNavigationEvent();
    void contentScriptsNeverRun();
    void failedLoadGivesAnErrorPageThatStillReportsLinks();
};

void FrmWordWindowTest::layoutAndComponents() {
    QTemporaryDir dir;
    TfrmWord w(folderOf(dir));
    QCOMPARE(w.windowTitle(), QStringLiteral("Verlune"));
    QCOMPARE(w.size(), QSize(769, 597));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!w.windowIcon().isNull());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY((w.geometry().center() - screen.center()).manhattanLength() <= 2);

    struct Component {
        const char* name;
        QRect geometry;
        const char* parent;
    };
    const Component components[] = {
        {"Panel1", {0, 0, 769, 93}, "frmWord"},
        {"Image2", {1, 1, 767, 91}, "Panel1"},
        {"StatusBar1", {0, 578, 769, 19}, "frmWord"},
        {"Panel2", {0, 93, 769, 485}, "frmWord"},
        {"Label3", {138, 28, 64, 16}, "Panel2"},
        {"Edit1", {199, 24, 336, 26}, "Panel2"},
        {"BitBtn1", {541, 23, 75, 28}, "Panel2"},
        {"WebBrowser1", {8, 64, 185, 419}, "Panel2"},
        {"WebBrowser2", {199, 64, 561, 419}, "Panel2"},
    };
    for (const Component& c : components) {
        auto* widget = w.findChild<QWidget*>(QLatin1String(c.name));
        QVERIFY2(widget, c.name);
        QCOMPARE(widget->geometry(), c.geometry);
        QCOMPARE(widget->parentWidget()->objectName(), QLatin1String(c.parent));
    }
    for (const char* name : {"ApplicationEvents1", "Timer1", "PopupMenu1", "N1"})
        QVERIFY2(w.findChild<QObject*>(QLatin1String(name)), name);
    QCOMPARE(w.q_word.name(), std::string("q_word"));
    QCOMPARE(w.q_word.sql(), std::string("select * from data where 1=2"));

    QVERIFY(!w.Image2->pixmap().isNull());
    QVERIFY(w.Image2->hasScaledContents());
    QCOMPARE(w.Label3->text(), QStringLiteral("关键字："));
    QCOMPARE(w.Label3->font().pixelSize(), 16);
    QCOMPARE(w.Label3->palette().color(QPalette::WindowText), QColor(Qt::black));
    QCOMPARE(w.Edit1->font().pixelSize(), 20);
    QVERIFY(w.Edit1->font().bold());
    QCOMPARE(w.Edit1->palette().color(QPalette::Text), QColor(0x80, 0, 0));
    QCOMPARE(w.Edit1->toolTip(), QStringLiteral("请输入关键字查询！"));
    QCOMPARE(w.BitBtn1->text(), QStringLiteral("查询"));
    QCOMPARE(w.BitBtn1->font().pixelSize(), 16);
    QVERIFY(!w.BitBtn1->icon().isNull());
    QCOMPARE(w.BitBtn1->iconSize(), QSize(16, 16));
    QCOMPARE(w.Panel2->palette().color(QPalette::Window), QColor(0xF8, 0xF8, 0xF8));
    QCOMPARE(w.WebBrowser1->contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(w.WebBrowser2->contextMenuPolicy(), Qt::NoContextMenu);

    QVERIFY(!w.StatusBar1->isSizeGripEnabled());
    const QString texts[4] = {QStringLiteral("Tavrin"), QStringLiteral("v1.2"), {}, {}};
    const int widths[4] = {50, 50, 200, 50};
    const Qt::Alignment aligns[4] = {Qt::AlignCenter, Qt::AlignCenter,
                                     Qt::AlignLeft | Qt::AlignVCenter,
                                     Qt::AlignLeft | Qt::AlignVCenter};
    for (int i = 0; i < 4; ++i) {
        auto* panel = w.StatusBar1->findChild<QLabel*>(QStringLiteral("StatusBar1Panel%1").arg(i));
        QVERIFY(panel);
        QCOMPARE(panel->text(), texts[i]);
        QCOMPARE(panel->width(), widths[i]);
        QCOMPARE(panel->alignment(), aligns[i]);
    }
    QCOMPARE(w.statusPanelText(2), QString()); // empty until the first tick

    QCOMPARE(w.PopupMenu1->actions(), QList<QAction*>{w.N1});
    QCOMPARE(w.N1->text(), QStringLiteral("复制"));
    QCOMPARE(w.N1->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
    QVERIFY(w.N1->isShortcutVisibleInContextMenu());

    // Focus starts in the search box; Tab goes on to the button.
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), w.Edit1);
    QTest::keyClick(w.Edit1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.BitBtn1);
}

void FrmWordWindowTest::connectedStartShowsBlankPanesWithoutScrollBars() {
    QTemporaryDir dir;
    writeFixtureDatabase(folderOf(dir) + "data.dll", standardFixtureRows());
    TfrmWord w(folderOf(dir));
    w.show();
    QCOMPARE(Notifier::takeShown().size(), 0);
    for (HtmlPane* pane : {w.WebBrowser1, w.WebBrowser2}) {
        QVERIFY(pane->hasDocument());
        QVERIFY(waitIdle(pane));
        QCOMPARE(bodyHtml(pane), QString());
        QCOMPARE(eval(pane, QStringLiteral("document.body.getAttribute('scroll')")).toString(),
                 QStringLiteral("no"));
        QVERIFY(withoutScrollBars(pane));
    }
}

void FrmWordWindowTest::startStatesWithoutUsableDatabase_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("errorShown");
    QTest::newRow("no file") << "none" << false;
    QTest::newRow("a folder named data.dll") << "folder" << false;
    QTest::newRow("not a database") << "garbage" << true;
    QTest::newRow("no table data") << "other table" << true;
}

void FrmWordWindowTest::startStatesWithoutUsableDatabase() {
    QFETCH(QString, kind);
    QFETCH(bool, errorShown);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.dll"));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("data.dll")));
    } else if (kind == QLatin1String("garbage")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    } else if (kind == QLatin1String("other table")) {
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "create table words (ID TEXT)", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
    }

    TfrmWord w(folderOf(dir));
    w.show();
    const QList<ShownBox> shown = Notifier::takeShown();
    QCOMPARE(shown.size(), errorShown ? 1 : 0);
    if (errorShown) {
        QCOMPARE(shown[0].icon, QMessageBox::Critical);
        QCOMPARE(shown[0].caption, QStringLiteral("Verlune"));
        QVERIFY(!shown[0].text.isEmpty());
    }
    // The window opens all the same, with both panes unloaded.
    QVERIFY(w.isVisible());
    QVERIFY(!w.WebBrowser1->hasDocument());
    QVERIFY(!w.WebBrowser2->hasDocument());
    QCOMPARE(w.WebBrowser2->selectionText(), QString());
    QCOMPARE(w.q_word.connectionText().empty(), !errorShown);
}

void FrmWordWindowTest::clockText_data() {
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("showsTime");
    QTest::newRow("midnight") << QTime(0, 0, 0) << false;
    QTest::newRow("one second past") << QTime(0, 0, 1) << true;
    QTest::newRow("one minute past") << QTime(0, 1, 0) << true;
    QTest::newRow("noon") << QTime(12, 0, 0) << true;
    QTest::newRow("last second") << QTime(23, 59, 59) << true;
}

void FrmWordWindowTest::clockText() {
    QFETCH(QTime, time);
    QFETCH(bool, showsTime);
    const QDate date(2024, 2, 29);
    const QLocale locale = QLocale::system();
    QString expected = QStringLiteral("现在时间:") + locale.toString(date, QLocale::ShortFormat);
    if (showsTime)
        expected += QLatin1Char(' ') + locale.toString(time, QLocale::LongFormat);
    QCOMPARE(TfrmWord::clockText(QDateTime(date, time)), expected);
}

void FrmWordWindowTest::clockTicksAfterStart() {
    QTemporaryDir dir;
    TfrmWord w(folderOf(dir));
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.Timer1->interval(), 1000);
    QCOMPARE(w.statusPanelText(2), QString());
    QTRY_VERIFY_WITH_TIMEOUT(w.statusPanelText(2).startsWith(QStringLiteral("现在时间:")), 5000);
}

void FrmWordWindowTest::paneWithoutDocumentDoesNothing() {
    HtmlPane pane;
    pane.resize(200, 200);
    pane.show();
    pane.setBodyInnerHtml(QStringLiteral("<p>x</p>"));
    pane.setBodyMargins(1, 2, 3, 4);
    pane.setBodyScroll(QStringLiteral("yes"));
    QVERIFY(!pane.hasDocument());
    QVERIFY(!pane.isBusy());
    QCOMPARE(pane.selectionText(), QString());
}

void FrmWordWindowTest::paneAppliesQueuedWorkInOrder() {
    HtmlPane pane;
    pane.resize(300, 300);
    pane.show();
    // As the window does: every completed document turns scrolling off.
    connect(&pane, &HtmlPane::documentComplete, &pane,
            [&] { pane.setBodyScroll(QStringLiteral("no")); });
    QSignalSpy idle(&pane, &HtmlPane::domIdle);
    pane.loadUrl(QStringLiteral("about:blank"));
    // Issued while the blank page is still loading.
    pane.setBodyInnerHtml(QStringLiteral("<p id=a>one</p>"));
    pane.setBodyInnerHtml(QStringLiteral("<p id=b>\"two\"\n\\ \u2028</p>"));
    pane.setBodyMargins(5, 0, 5, 0);
    pane.setBodyScroll(QStringLiteral("yes"));
    QVERIFY(pane.isBusy());
    QVERIFY(waitIdle(&pane));
    QVERIFY(idle.count() >= 1);
    QCOMPARE(eval(&pane, QStringLiteral("document.body.textContent")).toString(),
             QStringLiteral("\"two\"\n\\ \u2028"));
    QCOMPARE(eval(&pane, QStringLiteral("(function(){var s=getComputedStyle(document.body);"
                                        "return [s.marginTop,s.marginLeft,s.marginBottom,"
                                        "s.marginRight,s.overflowY].join(' ');})()"))
                 .toString(),
             QStringLiteral("5px 0px 5px 0px scroll"));
    QCOMPARE(eval(&pane, QStringLiteral("document.body.getAttribute('scroll')")).toString(),
             QStringLiteral("yes"));
}

void FrmWordWindowTest::linkClicksReachTheNavigationEvent() {
    ScriptedHttpServer server;
    server.route("/page.html",
                 ScriptedReply{ScriptedHttpServer::reply(
                     200, "OK", "<html><head><title>served</title></head><body>hi</body></html>",
                     {"Content-Type: text/html"})});
    HtmlPane pane;
    pane.resize(400, 300);
    pane.show();
    pane.loadUrl(QStringLiteral("about:blank"));
    pane.setBodyInnerHtml(
        QStringLiteral(
            "<a id=entry href=\"#'12'\" style=\"display:block;height:25px\">entry</a>"
            "<a id=two href=\"#a#b\" style=\"display:block;height:25px\">two</a>"
            "<a id=web href=\"%1/page.html\" style=\"display:block;height:25px\">web</a>")
            .arg(QString::fromStdString(server.baseUrl())));
    QVERIFY(waitIdle(&pane));

    QList<QUrl> requested;
    bool cancelAll = true;
    connect(&pane, &HtmlPane::navigationRequested, &pane, [&](const QUrl& url, bool* cancel) {
        requested.append(url);
        *cancel = cancelAll;
    });

    // Same-document links are reported too, and a cancelled one leaves the
    // document as it is.
    QVERIFY(click(&pane, QStringLiteral("#entry")));
    QTRY_COMPARE_WITH_TIMEOUT(requested.size(), 1, kTimeoutMs);
    QCOMPARE(requested[0].fragment(), QStringLiteral("'12'"));
    QVERIFY(click(&pane, QStringLiteral("#two")));
    QTRY_COMPARE_WITH_TIMEOUT(requested.size(), 2, kTimeoutMs);
    QCOMPARE(requested[1].fragment(QUrl::FullyDecoded), QStringLiteral("a#b"));
    QTest::qWait(200);
    QCOMPARE(eval(&pane, QStringLiteral("document.getElementById('entry')!==null")).toBool(), true);
    QCOMPARE(pane.url().host(), HtmlPane::blankHost());
    QVERIFY(!pane.url().hasFragment());

    QVERIFY(click(&pane, QStringLiteral("#web")));
    QTRY_COMPARE_WITH_TIMEOUT(requested.size(), 3, kTimeoutMs);
    QCOMPARE(requested[2].toString(), QString::fromStdString(server.baseUrl() + "/page.html"));
    QTest::qWait(200);
    QCOMPARE(server.requests().size(), std::size_t(0));

    // Let through, the pane goes there.
    cancelAll = false;
    QSignalSpy complete(&pane, &HtmlPane::documentComplete);
    QVERIFY(click(&pane, QStringLiteral("#web")));
    QTRY_VERIFY_WITH_TIMEOUT(complete.count() >= 1, kTimeoutMs);
    QCOMPARE(pane.title(), QStringLiteral("served"));
    QCOMPARE(server.requests().size(), std::size_t(1));

    // In a page the pane went to, "#..." links are still reported, and
    // relative links still resolve against that page.
    QVERIFY(waitIdle(&pane));
    const int before = requested.size();
    cancelAll = true;
    pane.setBodyInnerHtml(QStringLiteral(
        "<a id=entry href=\"#'57'\" style=\"display:block;height:25px\">e</a>"
        "<a id=rel href=\"other.html?q=1\" style=\"display:block;height:25px\">r</a>"));
    QVERIFY(waitIdle(&pane));
    QVERIFY(click(&pane, QStringLiteral("#entry")));
    QTRY_COMPARE_WITH_TIMEOUT(requested.size(), before + 1, kTimeoutMs);
    QCOMPARE(requested.last().fragment(), QStringLiteral("'57'"));
    QVERIFY(click(&pane, QStringLiteral("#rel")));
    QTRY_COMPARE_WITH_TIMEOUT(requested.size(), before + 2, kTimeoutMs);
    QCOMPARE(requested.last().toString(),
             QString::fromStdString(server.baseUrl() + "/other.html?q=1"));
    QTest::qWait(200);
    QCOMPARE(pane.title(), QStringLiteral("served"));
    QVERIFY(!pane.url().hasFragment());
}

void FrmWordWindowTest::contentScriptsNeverRun() {
    ScriptedHttpServer server;
    server.route("/script.html", ScriptedReply{ScriptedHttpServer::reply(
                                     200, "OK",
                                     "<html><body><script>document.title='script ran'</script>"
                                     "<a href=\"javascript:document.title='link ran'\" id=js "
                                     "style=\"display:block;height:25px\">js</a></body></html>",
                                     {"Content-Type: text/html"})});
    HtmlPane pane;
    pane.resize(300, 200);
    pane.show();
    pane.loadUrl(QStringLiteral("about:blank"));
    pane.setBodyInnerHtml(
        QStringLiteral("<img id=broken src=\"http://127.0.0.1:1/broken.png\" "
                       "onerror=\"document.body.setAttribute('data-ran','yes')\">"
                       "<p onclick=\"document.body.setAttribute('data-ran','click')\" id=p "
                       "style=\"height:25px\">click</p>"));
    QVERIFY(waitIdle(&pane));
    QVERIFY(click(&pane, QStringLiteral("#p")));
    QTRY_VERIFY_WITH_TIMEOUT(
        eval(&pane, QStringLiteral("document.getElementById('broken').complete")).toBool(),
        kTimeoutMs);
    QTest::qWait(300);
    QCOMPARE(eval(&pane, QStringLiteral("document.body.hasAttribute('data-ran')")).toBool(), false);

    QSignalSpy complete(&pane, &HtmlPane::documentComplete);
    pane.loadUrl(QString::fromStdString(server.baseUrl() + "/script.html"));
    QTRY_VERIFY_WITH_TIMEOUT(complete.count() >= 1, kTimeoutMs);
    QVERIFY(click(&pane, QStringLiteral("#js")));
    QTest::qWait(300);
    QVERIFY(!pane.title().contains(QStringLiteral("ran")));
}

void FrmWordWindowTest::failedLoadGivesAnErrorPageThatStillReportsLinks() {
    HtmlPane pane;
    pane.resize(400, 300);
    pane.show();
    pane.loadUrl(QStringLiteral("about:blank"));
    QVERIFY(waitIdle(&pane));
    const QString dead =
        QStringLiteral("http://127.0.0.1:%1/gone.html").arg(test_files::closedPort());
    pane.setBodyInnerHtml(
        QStringLiteral("<a id=entry href=\"#'1'\" style=\"display:block;height:25px\">e</a>"
                       "<a id=dead href=\"%1\" style=\"display:block;height:25px\">d</a>")
            .arg(dead));
    QVERIFY(waitIdle(&pane));
    QList<QUrl> requested;
    connect(&pane, &HtmlPane::navigationRequested, &pane, [&](const QUrl& url, bool* cancel) {
        requested.append(url);
        *cancel = url.hasFragment();
    });
    QSignalSpy complete(&pane, &HtmlPane::documentComplete);

    // A cancelled navigation is no new document.
    QVERIFY(click(&pane, QStringLiteral("#entry")));
    QTRY_COMPARE_WITH_TIMEOUT(requested.size(), 1, kTimeoutMs);
    QTest::qWait(300);
    QCOMPARE(complete.count(), 0);

    // A load that fails leaves the engine's error page in the pane: a new
    // document, whose "#..." links are reported like any others.
    QVERIFY(click(&pane, QStringLiteral("#dead")));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, kTimeoutMs);
    QVERIFY(waitIdle(&pane));
    pane.setBodyInnerHtml(
        QStringLiteral("<a id=entry href=\"#'57'\" style=\"display:block;height:25px\">e</a>"));
    QVERIFY(waitIdle(&pane));
    QVERIFY(click(&pane, QStringLiteral("#entry")));
    QTRY_COMPARE_WITH_TIMEOUT(requested.size(), 3, kTimeoutMs);
    QCOMPARE(requested.last().fragment(), QStringLiteral("'57'"));
    QTest::qWait(300);
    QCOMPARE(complete.count(), 1);
}

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Verlune"));
    FrmWordWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_frmword_window.moc"
