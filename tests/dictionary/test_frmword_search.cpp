// The window at work on the fixture database: searching, showing entries,
// the pane input filter and the copy menu. One window serves the whole run;
// the cases follow one another as a person's session would.
#include "application.h"
#include "fixture_db.h"
#include "html_pane.h"
#include "notifier.h"
#include "pane_driver.h"
#include "ufrmWord.h"

#include <QAction>
#include <QClipboard>
#include <QCursor>
#include <QHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace pane_driver;

namespace {

// Counts the inputs that reach a widget (after the application's filters).
class InputSpy : public QObject {
public:
    explicit InputSpy(QWidget* target) : target_(target) { target->installEventFilter(this); }
    ~InputSpy() override {
        if (target_)
            target_->removeEventFilter(this);
    }
    int count(QEvent::Type type) const { return counts_.value(type); }
    int keyCount(int key) const { return keys_.value(key); }
    void clear() {
        counts_.clear();
        keys_.clear();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            ++counts_[event->type()];
            break;
        case QEvent::KeyPress:
            ++counts_[event->type()];
            ++keys_[static_cast<QKeyEvent*>(event)->key()];
            break;
        default:
            break;
        }
        return false;
    }

private:
    QPointer<QWidget> target_;
    QHash<int, int> counts_;
    QHash<int, int> keys_;
};

struct Anchor {
    QString href;
    QString text;
    int marks = 0;
};

QList<Anchor> anchors(HtmlPane* pane) {
    const QVariantList list =
        eval(pane, QStringLiteral("Array.from(document.querySelectorAll('a')).map(function(a){"
                                  "return [a.getAttribute('href'), a.textContent,"
                                  "a.querySelectorAll('font[color=red]').length];})"))
            .toList();
    QList<Anchor> out;
    for (const QVariant& v : list) {
        const QVariantList a = v.toList();
        out.append({a[0].toString(), a[1].toString(), a[2].toInt()});
    }
    return out;
}

QStringList hrefs(HtmlPane* pane) {
    QStringList out;
    for (const Anchor& a : anchors(pane))
        out << a.href;
    return out;
}

// The value cells of the detail table, rows 1 to 10.
QStringList detailValues(HtmlPane* pane) {
    return eval(pane, QStringLiteral("Array.from(document.querySelectorAll('tr')).map(function(r){"
                                     "return r.cells[1].textContent;})"))
        .toStringList();
}

QString bodyStyle(HtmlPane* pane) {
    return eval(pane, QStringLiteral("(function(){var s=getComputedStyle(document.body);"
                                     "return [s.marginTop,s.marginLeft,s.marginBottom,"
                                     "s.marginRight,s.overflowY].join(' ');})()"))
        .toString();
}

QString scrollAttribute(HtmlPane* pane) {
    return eval(pane, QStringLiteral("document.body.getAttribute('scroll')")).toString();
}

} // namespace

class FrmWordSearchTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { w.reset(); }
    void init();
    void cleanup();

    void enterSearchesAndStillReachesTheEditBox();
    void buttonGivesTheSameList();
    void blankKeywordShowsTheNotice_data();
    void blankKeywordShowsTheNotice();
    void keywords_data();
    void keywords();

    void clickOnItemShowsTheEntry();
    void crossReferencesShowOtherEntries();
    void navigationHandlerDecides_data();
    void navigationHandlerDecides();
    void invalidColumnShowsErrorAndKeepsTheDetail();

    void rightClickInListPaneIsDropped();
    void detailPaneMenuNeedsASelection();
    void otherInputsPass();
    void arrowKeysAndF5DroppedInPanesOnly();
    void copyPutsTheUntrimmedSelectionOnTheClipboard();
    void ctrlCRunsNothing();

    void withoutDatabaseSearchAndEntryFail();

private:
    void search(const QString& keyword, bool byButton = false);
    void showEntryFromList(const QString& keyword, int item);
    QList<ShownBox> waitForBoxes(int n);
    void closePopup();

    QTemporaryDir dir;
    std::unique_ptr<TfrmWord> w;
    QList<ShownBox> boxes;
};

void FrmWordSearchTest::initTestCase() {
    Notifier::setRecording(true);
    QVERIFY(dir.isValid());
    writeFixtureDatabase(dir.path().toStdString() + "/data.dll", standardFixtureRows());
    w = std::make_unique<TfrmWord>(dir.path().toStdString() + "/");
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QVERIFY(waitIdle(w->WebBrowser1));
    QVERIFY(waitIdle(w->WebBrowser2));
    QCOMPARE(Notifier::takeShown().size(), 0);
}

void FrmWordSearchTest::init() {
    Notifier::takeShown();
    boxes.clear();
}

void FrmWordSearchTest::cleanup() {
    closePopup();
}

void FrmWordSearchTest::closePopup() {
    while (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}

QList<ShownBox> FrmWordSearchTest::waitForBoxes(int n) {
    // Waits for at least `n` boxes, then a little longer to catch extra ones.
    const bool arrived = QTest::qWaitFor(
        [&] {
            boxes += Notifier::takeShown();
            return boxes.size() >= n;
        },
        kTimeoutMs);
    Q_UNUSED(arrived);
    QTest::qWait(50);
    boxes += Notifier::takeShown();
    return std::exchange(boxes, {});
}

void FrmWordSearchTest::search(const QString& keyword, bool byButton) {
    w->Edit1->clear();
    w->Edit1->setFocus();
    // Typed one character at a time, as an input method hands them over.
    for (const QChar c : keyword)
        QTest::sendKeyEvent(QTest::Click, w->Edit1, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QCOMPARE(w->Edit1->text(), keyword);
    if (byButton)
        QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    else
        QTest::keyClick(w->Edit1, Qt::Key_Return);
    QVERIFY(waitIdle(w->WebBrowser1));
}

// Searches and clicks list item `item` (1-based) with the mouse.
void FrmWordSearchTest::showEntryFromList(const QString& keyword, int item) {
    search(keyword);
    // Emptied first, so that the table seen afterwards is the one just shown.
    eval(w->WebBrowser2, QStringLiteral("document.body.innerHTML=''"));
    QVERIFY(click(w->WebBrowser1, QStringLiteral("a:nth-of-type(%1)").arg(item)));
    QVERIFY(QTest::qWaitFor(
        [&] {
            return eval(w->WebBrowser2, QStringLiteral("document.querySelectorAll('tr').length"))
                       .toInt() == 10;
        },
        kTimeoutMs));
    QVERIFY(waitIdle(w->WebBrowser2));
}

void FrmWordSearchTest::enterSearchesAndStillReachesTheEditBox() {
    QSignalSpy returnPressed(w->Edit1, &QLineEdit::returnPressed);
    search(QStringLiteral("一"));
    QCOMPARE(returnPressed.count(), 1);
    const QList<Anchor> items = anchors(w->WebBrowser1);
    QCOMPARE(items.size(), 5);
    const QStringList expectedHrefs = {"#'1'", "#'2'", "#'a''b'", "#'8'", "#'9'"};
    const QStringList expectedTexts = {"一心一意", "一鸣惊人", "a'b一言为定", "一字千金OK",
                                       "一路顺风"};
    const int expectedMarks[] = {2, 1, 1, 1, 1};
    for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(items[i].href, expectedHrefs[i]);
        QCOMPARE(items[i].text, expectedTexts[i]);
        QCOMPARE(items[i].marks, expectedMarks[i]);
    }
    // Mark-up in a word renders as mark-up.
    QCOMPARE(
        eval(w->WebBrowser1, QStringLiteral("document.querySelectorAll('a b').length")).toInt(), 1);
    QCOMPARE(bodyStyle(w->WebBrowser1), QStringLiteral("5px 0px 5px 0px scroll"));
    QCOMPARE(scrollAttribute(w->WebBrowser1), QStringLiteral("yes"));
    QCOMPARE(w->Edit1->text(), QStringLiteral("一"));
    QCOMPARE(QApplication::focusWidget(), w->Edit1);
    // A search leaves the detail pane alone.
    QCOMPARE(bodyHtml(w->WebBrowser2), QString());
}

void FrmWordSearchTest::buttonGivesTheSameList() {
    search(QStringLiteral("一"));
    const QString byEnter = bodyHtml(w->WebBrowser1);
    search(QStringLiteral("专心"));
    QVERIFY(bodyHtml(w->WebBrowser1) != byEnter);
    search(QStringLiteral("一"), true);
    QCOMPARE(bodyHtml(w->WebBrowser1), byEnter);
    QCOMPARE(QApplication::focusWidget(), w->Edit1);

    // Enter on the focused button presses it, as Space does; with Shift held
    // it does not. In the search box Shift+Enter still types a carriage
    // return, Ctrl+Enter a line feed, which searches nothing.
    const struct {
        bool onButton;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool searches;
    } keys[] = {{true, Qt::Key_Return, {}, true},
                {true, Qt::Key_Enter, Qt::KeypadModifier, true},
                {true, Qt::Key_Space, {}, true},
                {true, Qt::Key_Return, Qt::ShiftModifier, false},
                {false, Qt::Key_Return, Qt::ShiftModifier, true},
                {false, Qt::Key_Enter, Qt::KeypadModifier, true},
                {false, Qt::Key_Return, Qt::ControlModifier, false}};
    for (const auto& k : keys) {
        search(QStringLiteral("专心"));
        const QString other = bodyHtml(w->WebBrowser1);
        w->Edit1->setText(QStringLiteral("一"));
        QWidget* target = k.onButton ? static_cast<QWidget*>(w->BitBtn1) : w->Edit1;
        target->setFocus();
        QTest::keyClick(target, k.key, k.modifiers);
        QVERIFY(waitIdle(w->WebBrowser1));
        QCOMPARE(bodyHtml(w->WebBrowser1), k.searches ? byEnter : other);
        QCOMPARE(QApplication::focusWidget(), k.searches ? w->Edit1 : target);
    }
}

void FrmWordSearchTest::blankKeywordShowsTheNotice_data() {
    QTest::addColumn<QString>("keyword");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << QStringLiteral("   ");
    QTest::newRow("blanks and controls") << QStringLiteral(" \t\x01 ");
}

void FrmWordSearchTest::blankKeywordShowsTheNotice() {
    QFETCH(QString, keyword);
    search(QStringLiteral("一"));
    const QString before = bodyHtml(w->WebBrowser1);
    w->Edit1->setText(keyword);
    QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    const QList<ShownBox> shown = waitForBoxes(1);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].icon, QMessageBox::Information);
    QCOMPARE(shown[0].caption, QStringLiteral("Verlune"));
    QCOMPARE(shown[0].text, QStringLiteral("查询关键字不能为空！"));
    QCOMPARE(shown[0].owner.data(), w.get());
    QVERIFY(waitIdle(w->WebBrowser1));
    QCOMPARE(bodyHtml(w->WebBrowser1), before);
    QCOMPARE(w->Edit1->text(), keyword);
    QCOMPARE(QApplication::focusWidget(), w->Edit1);
}

void FrmWordSearchTest::keywords_data() {
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QStringList>("expectedHrefs");
    QTest::addColumn<int>("marks");
    QTest::newRow("quote") << QStringLiteral("a'b") << QStringList{"#'a''b'"} << 1;
    QTest::newRow("wildcard % lists every word")
        << QStringLiteral("%") << QStringList{"#'1'", "#'57'", "#'2'", "#'a''b'", "#'3'", "#'4'",
                                              "#'5'", "#'7'",  "#'7'", "#'8'",    "#'9'", "#'10'"}
        << 1;
    QTest::newRow("other letter case: listed, not marked")
        << QStringLiteral("ok") << QStringList{"#'8'"} << 0;
    QTest::newRow("keyword with blanks around")
        << QStringLiteral("  三心 ") << QStringList{"#'57'"} << 1;
    QTest::newRow("no match") << QStringLiteral("不存在") << QStringList{} << 0;
}

void FrmWordSearchTest::keywords() {
    QFETCH(QString, keyword);
    QFETCH(QStringList, expectedHrefs);
    QFETCH(int, marks);
    search(keyword);
    QCOMPARE(hrefs(w->WebBrowser1), expectedHrefs);
    int total = 0;
    for (const Anchor& a : anchors(w->WebBrowser1))
        total += a.marks;
    QCOMPARE(total, marks);
    QCOMPARE(scrollAttribute(w->WebBrowser1), QStringLiteral("yes"));
    QCOMPARE(Notifier::takeShown().size(), 0);
}

void FrmWordSearchTest::clickOnItemShowsTheEntry() {
    showEntryFromList(QStringLiteral("一"), 1);
    const QStringList values = detailValues(w->WebBrowser2);
    QCOMPARE(values.size(), 10);
    QCOMPARE(values[0], QStringLiteral("一心一意"));
    QCOMPARE(values[1], QStringLiteral("常用"));
    QCOMPARE(values[2], QStringLiteral("yī xīn yī yì"));
    QCOMPARE(values[8], QStringLiteral("heart and soul"));
    QCOMPARE(values[9], QStringLiteral("作谓语、状语；含褒义"));
    QCOMPARE(bodyStyle(w->WebBrowser2), QStringLiteral("10px 10px 5px 0px hidden"));
    QCOMPARE(scrollAttribute(w->WebBrowser2), QStringLiteral("no"));
    // The list and the search box stay as they were; the list pane did not
    // navigate away.
    QCOMPARE(anchors(w->WebBrowser1).size(), 5);
    QCOMPARE(w->WebBrowser1->url().host(), HtmlPane::blankHost());
    QCOMPARE(w->Edit1->text(), QStringLiteral("一"));
    QCOMPARE(Notifier::takeShown().size(), 0);

    // An ID holding a quote loses it in the link: "ab" is no entry.
    showEntryFromList(QStringLiteral("a'b"), 1);
    QCOMPARE(detailValues(w->WebBrowser2), QStringList(10, QString()));
}

void FrmWordSearchTest::crossReferencesShowOtherEntries() {
    showEntryFromList(QStringLiteral("专心"), 1);
    QCOMPARE(detailValues(w->WebBrowser2).value(0), QStringLiteral("专心致志"));
    const QString entry3 = bodyHtml(w->WebBrowser2);

    // The reference in W1 (table row 2) leads to entry 57.
    QVERIFY(click(w->WebBrowser2, QStringLiteral("tr:nth-of-type(2) a")));
    QVERIFY(QTest::qWaitFor(
        [&] { return detailValues(w->WebBrowser2).value(0) == QStringLiteral("三心二意"); },
        kTimeoutMs));
    QCOMPARE(w->WebBrowser2->url().host(), HtmlPane::blankHost());

    // The one in W2 (row 3) carries a ";" into the ID and finds nothing.
    showEntryFromList(QStringLiteral("专心"), 1);
    QCOMPARE(bodyHtml(w->WebBrowser2), entry3);
    QVERIFY(click(w->WebBrowser2, QStringLiteral("tr:nth-of-type(3) a")));
    QVERIFY(QTest::qWaitFor(
        [&] { return detailValues(w->WebBrowser2) == QStringList(10, QString()); }, kTimeoutMs));
    QCOMPARE(Notifier::takeShown().size(), 0);
}

void FrmWordSearchTest::navigationHandlerDecides_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QString>("word");
    QTest::newRow("entry link") << "http://pane.invalid/entry#'57'" << true << "三心二意";
    QTest::newRow("another site with #") << "http://127.0.0.1:1/x.html#1" << true << "一心一意";
    QTest::newRow("everything after the first #") << "http://pane.invalid/entry#7#1" << true << "";
    QTest::newRow("quotes removed anywhere")
        << "http://pane.invalid/entry#'5''7'" << true << "三心二意";
    QTest::newRow("plain web link") << "http://127.0.0.1:1/plain.html" << false << "";
}

void FrmWordSearchTest::navigationHandlerDecides() {
    QFETCH(QString, url);
    QFETCH(bool, cancelled);
    QFETCH(QString, word);
    // A known state to tell a shown entry from none.
    showEntryFromList(QStringLiteral("虎头"), 1);
    const QString before = bodyHtml(w->WebBrowser2);
    bool cancel = false;
    w->WebBrowser1BeforeNavigate2(w->WebBrowser1, QUrl(url), cancel);
    QCOMPARE(cancel, cancelled);
    QTest::qWait(50);
    QVERIFY(waitIdle(w->WebBrowser2));
    if (cancelled)
        QCOMPARE(detailValues(w->WebBrowser2).value(0), word);
    else
        QCOMPARE(bodyHtml(w->WebBrowser2), before);
    QCOMPARE(Notifier::takeShown().size(), 0);
}

void FrmWordSearchTest::invalidColumnShowsErrorAndKeepsTheDetail() {
    showEntryFromList(QStringLiteral("一心"), 1);
    const QString before = bodyHtml(w->WebBrowser2);
    search(QStringLiteral("半途"));
    QVERIFY(click(w->WebBrowser1, QStringLiteral("a")));
    const QList<ShownBox> shown = waitForBoxes(1);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].icon, QMessageBox::Critical);
    QCOMPARE(shown[0].caption, QStringLiteral("Verlune"));
    QCOMPARE(shown[0].text, QStringLiteral("'$4G' is not a valid integer value."));
    QVERIFY(waitIdle(w->WebBrowser2));
    QCOMPARE(bodyHtml(w->WebBrowser2), before);
    // The navigation stayed cancelled.
    QCOMPARE(hrefs(w->WebBrowser1), QStringList{"#'4'"});
    QCOMPARE(w->WebBrowser1->url().host(), HtmlPane::blankHost());
}

void FrmWordSearchTest::rightClickInListPaneIsDropped() {
    search(QStringLiteral("一"));
    InputSpy spy(inputWidget(w->WebBrowser1));
    QVERIFY(click(w->WebBrowser1, QStringLiteral("a"), Qt::RightButton));
    QTest::mouseDClick(inputWidget(w->WebBrowser1), Qt::RightButton, {},
                       centreOf(w->WebBrowser1, QStringLiteral("a")));
    QCOMPARE(spy.count(QEvent::MouseButtonPress), 0);
    QCOMPARE(spy.count(QEvent::MouseButtonDblClick), 0);
    QVERIFY(spy.count(QEvent::MouseButtonRelease) > 0); // the release is no filtered input
    // Even with text selected in the list.
    QVERIFY(select(w->WebBrowser1, QStringLiteral("a")));
    QVERIFY(click(w->WebBrowser1, QStringLiteral("a"), Qt::RightButton));
    QVERIFY(click(w->WebBrowser1, QStringLiteral("a"), Qt::LeftButton, Qt::ShiftModifier));
    QCOMPARE(spy.count(QEvent::MouseButtonPress), 0);
    QTest::qWait(100);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    QVERIFY(clearSelection(w->WebBrowser1));
}

void FrmWordSearchTest::detailPaneMenuNeedsASelection() {
    showEntryFromList(QStringLiteral("一心"), 1);
    HtmlPane* pane = w->WebBrowser2;
    InputSpy spy(inputWidget(pane));
    const QString cell = QStringLiteral("tr:nth-of-type(4) td:nth-of-type(2)");

    QVERIFY(clearSelection(pane));
    QVERIFY(click(pane, cell, Qt::RightButton));
    QTest::qWait(100);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    QCOMPARE(spy.count(QEvent::MouseButtonPress), 0);

    // Blanks and control characters alone count as no selection.
    eval(pane, QStringLiteral("var p=document.createElement('pre');p.id='blank';"
                              "p.textContent=' \\t  ';document.body.appendChild(p);"));
    QVERIFY(select(pane, QStringLiteral("#blank")));
    QVERIFY(pane->selectionText().trimmed().isEmpty());
    QVERIFY(click(pane, cell, Qt::RightButton));
    QTest::qWait(100);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);

    struct Case {
        const char* name;
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
    };
    const Case opening[] = {{"right click", Qt::RightButton, {}},
                            {"shift click", Qt::LeftButton, Qt::ShiftModifier}};
    QVERIFY(select(pane, cell));
    for (const Case& c : opening) {
        spy.clear();
        // The menu opens at the cursor, wherever the input itself was aimed.
        const QPoint at = centreOf(pane, cell);
        const QPoint cursor = inputWidget(pane)->mapToGlobal(at) + QPoint(3, 2);
        QTest::mouseMove(inputWidget(pane), at);
        QCursor::setPos(cursor);
        QTest::mouseClick(inputWidget(pane), c.button, c.modifiers, at);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activePopupWidget(), w->PopupMenu1, kTimeoutMs);
        QCOMPARE(w->PopupMenu1->pos(), cursor);
        QCOMPARE(w->PopupMenu1->actions().size(), 1);
        QCOMPARE(w->PopupMenu1->actions()[0]->text(), QStringLiteral("复制"));
        QVERIFY2(spy.count(QEvent::MouseButtonPress) == 0, c.name);
        closePopup();
        QVERIFY(!pane->selectionText().isEmpty());
    }

    // A filtered key with text selected opens the menu too.
    QTest::keyClick(inputWidget(pane), Qt::Key_Down);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activePopupWidget(), w->PopupMenu1, kTimeoutMs);
    closePopup();
    QCOMPARE(spy.count(QEvent::KeyPress), 0);
}

void FrmWordSearchTest::otherInputsPass() {
    HtmlPane* pane = w->WebBrowser2;
    InputSpy spy(inputWidget(pane));
    QVERIFY(select(pane, QStringLiteral("tr:nth-of-type(4) td:nth-of-type(2)")));
    const QPoint at = centreOf(pane, QStringLiteral("table"));
    QTest::mouseClick(inputWidget(pane), Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier,
                      at);
    QCOMPARE(spy.count(QEvent::MouseButtonPress), 1);
    QTest::mouseDClick(inputWidget(pane), Qt::LeftButton, {}, at);
    QCOMPARE(spy.count(QEvent::MouseButtonDblClick), 1);
    QTest::keyClick(inputWidget(pane), Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(spy.keyCount(Qt::Key_Up), 1);
    // The menu key reaches the pane, which has no context menu of its own.
    QTest::keyClick(inputWidget(pane), Qt::Key_Menu);
    QCOMPARE(spy.keyCount(Qt::Key_Menu), 1);
    QTest::qWait(300);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
}

void FrmWordSearchTest::arrowKeysAndF5DroppedInPanesOnly() {
    const Qt::Key dropped[] = {Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_F5};
    for (HtmlPane* pane : {w->WebBrowser1, w->WebBrowser2}) {
        QVERIFY(clearSelection(pane));
        InputSpy spy(inputWidget(pane));
        for (Qt::Key key : dropped)
            QTest::keyClick(inputWidget(pane), key);
        QCOMPARE(spy.count(QEvent::KeyPress), 0);
        QTest::keyClick(inputWidget(pane), Qt::Key_PageDown);
        QTest::keyClick(inputWidget(pane), Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(spy.keyCount(Qt::Key_PageDown), 1);
        QCOMPARE(spy.keyCount(Qt::Key_Down), 1);
    }
    QTest::qWait(100);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);

    w->Edit1->setFocus();
    w->Edit1->setText(QStringLiteral("一心一意"));
    w->Edit1->end(false);
    InputSpy spy(w->Edit1);
    QTest::keyClick(w->Edit1, Qt::Key_Left);
    QTest::keyClick(w->Edit1, Qt::Key_Left);
    QCOMPARE(w->Edit1->cursorPosition(), 2);
    QTest::keyClick(w->Edit1, Qt::Key_Right);
    QCOMPARE(w->Edit1->cursorPosition(), 3);
    QTest::keyClick(w->Edit1, Qt::Key_F5);
    QCOMPARE(spy.count(QEvent::KeyPress), 4);
}

void FrmWordSearchTest::copyPutsTheUntrimmedSelectionOnTheClipboard() {
    showEntryFromList(QStringLiteral("一心"), 1);
    HtmlPane* pane = w->WebBrowser2;
    eval(pane, QStringLiteral("var p=document.createElement('pre');p.id='padded';"
                              "p.textContent='  一心 一意 ';document.body.appendChild(p);"
                              "var q=document.createElement('pre');q.id='blank';"
                              "q.textContent='   ';document.body.appendChild(q);"));
    QClipboard* clipboard = QGuiApplication::clipboard();

    QVERIFY(select(pane, QStringLiteral("#padded")));
    const QString selection = pane->selectionText();
    QVERIFY2(selection.startsWith(QStringLiteral("  一心 一意")), qPrintable(selection));
    clipboard->setText(QStringLiteral("before"));
    QVERIFY(click(pane, QStringLiteral("#padded"), Qt::RightButton));
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activePopupWidget(), w->PopupMenu1, kTimeoutMs);
    QTest::mouseClick(w->PopupMenu1, Qt::LeftButton, {},
                      w->PopupMenu1->actionGeometry(w->N1).center());
    QTRY_COMPARE(QApplication::activePopupWidget(), nullptr);
    QCOMPARE(clipboard->text(), selection);

    // Nothing worth copying: the clipboard keeps what it had.
    QVERIFY(select(pane, QStringLiteral("#blank")));
    clipboard->setText(QStringLiteral("before"));
    w->N1Click();
    QCOMPARE(clipboard->text(), QStringLiteral("before"));
    QVERIFY(clearSelection(pane));
    w->N1Click();
    QCOMPARE(clipboard->text(), QStringLiteral("before"));
}

void FrmWordSearchTest::ctrlCRunsNothing() {
    HtmlPane* pane = w->WebBrowser2;
    QVERIFY(select(pane, QStringLiteral("tr:nth-of-type(4) td:nth-of-type(2)")));
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    QSignalSpy triggered(w->N1, &QAction::triggered);

    w->Edit1->clear();
    w->Edit1->setFocus();
    QTest::keyClick(w->Edit1, Qt::Key_C, Qt::ControlModifier);
    w->BitBtn1->setFocus();
    QTest::keyClick(w->BitBtn1, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(w.get(), Qt::Key_C, Qt::ControlModifier);
    // Not even while the menu is open.
    QVERIFY(click(pane, QStringLiteral("tr:nth-of-type(4) td:nth-of-type(2)"), Qt::RightButton));
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activePopupWidget(), w->PopupMenu1, kTimeoutMs);
    QTest::keyClick(w->PopupMenu1, Qt::Key_C, Qt::ControlModifier);
    QTest::qWait(100);
    QCOMPARE(triggered.count(), 0);
    QCOMPARE(clipboard->text(), QStringLiteral("before"));
}

void FrmWordSearchTest::withoutDatabaseSearchAndEntryFail() {
    QTemporaryDir empty;
    TfrmWord bare(empty.path().toStdString() + "/");
    bare.show();
    QVERIFY(QTest::qWaitForWindowActive(&bare));
    QCOMPARE(Notifier::takeShown().size(), 0);

    bare.Edit1->setText(QStringLiteral("一"));
    QTest::mouseClick(bare.BitBtn1, Qt::LeftButton);
    QList<ShownBox> shown = waitForBoxes(1);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].icon, QMessageBox::Critical);
    QCOMPARE(shown[0].caption, QStringLiteral("Verlune"));
    QCOMPARE(shown[0].text, QStringLiteral("Missing Connection or ConnectionString."));
    // The focus stays where the click put it.
    QCOMPARE(QApplication::focusWidget(), bare.BitBtn1);
    QVERIFY(!bare.WebBrowser1->hasDocument());

    // Enter takes the same road.
    bare.Edit1->setFocus();
    QTest::keyClick(bare.Edit1, Qt::Key_Return);
    QCOMPARE(waitForBoxes(1).size(), 1);

    bool cancel = false;
    bare.WebBrowser1BeforeNavigate2(bare.WebBrowser2, QUrl(QStringLiteral("about:blank#'1'")),
                                    cancel);
    QVERIFY(cancel);
    shown = waitForBoxes(1);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("Missing Connection or ConnectionString."));

    // Filtered inputs aimed at a pane without a document are dropped, no menu.
    InputSpy spy(inputWidget(bare.WebBrowser2));
    QTest::mouseClick(inputWidget(bare.WebBrowser2), Qt::RightButton, {}, QPoint(20, 20));
    QCOMPARE(spy.count(QEvent::MouseButtonPress), 0);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
}

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Verlune"));
    FrmWordSearchTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_frmword_search.moc"
