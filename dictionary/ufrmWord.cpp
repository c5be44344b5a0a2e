#include "ufrmWord.h"

#include "application.h"
#include "entry_html.h"
#include "html_pane.h"
#include "input_filter.h"
#include "notifier.h"
#include "platform.h"
#include "text.h"
#include "uRC4.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include <array>
#include <optional>

static void initResources() {
    Q_INIT_RESOURCE(dictionary);
}

namespace {

const QString kCaption = QStringLiteral("Verlune");
const std::string kOpeningSql = "select * from data where 1=2";

// "宋体" is rarely installed outside Chinese Windows; the CJK fonts of the
// free desktops stand in for it.
QFont songTi(int pixelSize, bool bold = false) {
    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                   QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QFont msSansSerif(int pixelSize) {
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                   QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")});
    f.setPixelSize(pixelSize);
    return f;
}

std::string utf8(const QString& s) {
    return s.toStdString();
}

unsigned buttonFlags(Qt::MouseButtons buttons) {
    unsigned flags = 0;
    if (buttons & Qt::LeftButton)
        flags |= input_filter::LeftButton;
    if (buttons & Qt::RightButton)
        flags |= input_filter::RightButton;
    if (buttons & Qt::MiddleButton)
        flags |= input_filter::MiddleButton;
    if (buttons & Qt::BackButton)
        flags |= input_filter::ExtraButton1;
    if (buttons & Qt::ForwardButton)
        flags |= input_filter::ExtraButton2;
    return flags;
}

unsigned modifierFlags(Qt::KeyboardModifiers modifiers) {
    unsigned flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= input_filter::Shift;
    if (modifiers & Qt::ControlModifier)
        flags |= input_filter::Control;
    return flags;
}

input_filter::Key keyOf(int key) {
    switch (key) {
    case Qt::Key_Left:
        return input_filter::Key::Left;
    case Qt::Key_Up:
        return input_filter::Key::Up;
    case Qt::Key_Right:
        return input_filter::Key::Right;
    case Qt::Key_Down:
        return input_filter::Key::Down;
    case Qt::Key_F5:
        return input_filter::Key::F5;
    default:
        return input_filter::Key::Other;
    }
}

// The input that `event` stands for, or nullopt when it is no input at all.
std::optional<input_filter::Input> inputOf(const QEvent* event) {
    using input_filter::Kind;
    input_filter::Input in;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        in.kind = Kind::MousePress;
        break;
    case QEvent::MouseButtonDblClick:
        in.kind = Kind::MouseDoubleClick;
        break;
    case QEvent::MouseButtonRelease:
        in.kind = Kind::MouseRelease;
        break;
    case QEvent::KeyPress:
        in.kind = Kind::KeyPress;
        break;
    case QEvent::KeyRelease:
        in.kind = Kind::KeyRelease;
        break;
    case QEvent::Wheel:
        in.kind = Kind::Wheel;
        return in;
    default:
        return std::nullopt;
    }
    if (in.kind == Kind::KeyPress || in.kind == Kind::KeyRelease) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        in.key = keyOf(key->key());
        in.keyState = modifierFlags(key->modifiers());
        in.alt = key->modifiers() & Qt::AltModifier;
    } else {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        in.button = buttonFlags(mouse->button());
        in.keyState = buttonFlags(mouse->buttons()) | modifierFlags(mouse->modifiers());
    }
    return in;
}

bool inside(const QWidget* pane, const QWidget* target) {
    return target == pane || pane->isAncestorOf(target);
}

} // namespace

TApplicationEvents::TApplicationEvents(TfrmWord* owner) : QObject(owner), owner_(owner) {
    setObjectName(QStringLiteral("ApplicationEvents1"));
}

bool TApplicationEvents::eventFilter(QObject* watched, QEvent* event) {
    // Every event of the program passes here: the kind test comes first.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
        break;
    default:
        return false;
    }
    bool handled = false;
    runGuarded([&] { handled = owner_->ApplicationEvents1Message(watched, event); });
    return handled;
}

TfrmWord::TfrmWord(const std::string& appFolder, QWidget* parent)
    : QWidget(parent), q_word("q_word"), appFolder_(appFolder) {
    initResources();
    setObjectName(QStringLiteral("frmWord"));
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/dictionary/quorvel.png")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(769, 597);
    setFont(msSansSerif(11));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 769, 93);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);

    Image2 = new QLabel(Panel1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(1, 1, 767, 91);
    Image2->setScaledContents(true);
    Image2->setPixmap(QPixmap(QStringLiteral(":/dictionary/banner.jpg")));

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, 578, 769, 19);
    StatusBar1->setSizeGripEnabled(false);
    const int panelWidths[4] = {50, 50, 200, 50};
    const QString panelTexts[4] = {QStringLiteral("Tavrin"), QStringLiteral("v1.2"), {}, {}};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(panelTexts[i], StatusBar1);
        panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        panel->setFixedWidth(panelWidths[i]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAlignment(i < 2 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        StatusBar1->addWidget(panel);
        statusPanels_[i] = panel;
    }

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, 93, 769, 485);
    Panel2->setFrameStyle(QFrame::NoFrame);
    Panel2->setAutoFillBackground(true);
    QPalette white = Panel2->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel2->setPalette(white);

    Label3 = new QLabel(QStringLiteral("关键字："), Panel2);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(138, 28, 64, 16);
    Label3->setFont(songTi(16));
    QPalette black = Label3->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    Label3->setPalette(black);

    Edit1 = new QLineEdit(Panel2);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(199, 24, 336, 26);
    Edit1->setFont(songTi(20, true));
    QPalette maroon = Edit1->palette();
    maroon.setColor(QPalette::Text, QColor(0x80, 0x00, 0x00));
    Edit1->setPalette(maroon);
    Edit1->setToolTip(QStringLiteral("请输入关键字查询！"));
    Edit1->installEventFilter(this);

    BitBtn1 = new QPushButton(QIcon(QStringLiteral(":/dictionary/search.png")),
                              QStringLiteral("查询"), Panel2);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(541, 23, 75, 28);
    BitBtn1->setFont(msSansSerif(16));
    BitBtn1->setIconSize(QSize(16, 16));
    BitBtn1->setAutoDefault(false);
    BitBtn1->installEventFilter(this);
    connect(BitBtn1, &QPushButton::clicked, this,
            [this] { runGuarded([this] { BitBtn1Click(); }); });

    WebBrowser1 = new HtmlPane(Panel2);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(8, 64, 185, 419);
    WebBrowser2 = new HtmlPane(Panel2);
    WebBrowser2->setObjectName(QStringLiteral("WebBrowser2"));
    WebBrowser2->setGeometry(199, 64, 561, 419);
    for (HtmlPane* pane : {WebBrowser1, WebBrowser2}) {
        connect(pane, &HtmlPane::navigationRequested, this,
                [this, pane](const QUrl& url, bool* cancel) {
                    runGuarded([&] { WebBrowser1BeforeNavigate2(pane, url, *cancel); });
                });
    }
    connect(WebBrowser1, &HtmlPane::documentComplete, this,
            [this] { runGuarded([this] { WebBrowser1DocumentComplete(); }); });
    connect(WebBrowser2, &HtmlPane::documentComplete, this,
            [this] { runGuarded([this] { WebBrowser2DocumentComplete(); }); });

    setTabOrder(Edit1, BitBtn1);
    setTabOrder(BitBtn1, WebBrowser1);
    setTabOrder(WebBrowser1, WebBrowser2);
    Edit1->setFocus();

    q_word.setSql(kOpeningSql);

    ApplicationEvents1 = new TApplicationEvents(this);
    qApp->installEventFilter(ApplicationEvents1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { runGuarded([this] { Timer1Timer(); }); });
    Timer1->start();

    // Attached to no widget: Ctrl+C is shown beside the item but bound to
    // nothing, so the menu is the only way to the command.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = new QAction(QStringLiteral("复制"), PopupMenu1);
    N1->setObjectName(QStringLiteral("N1"));
    N1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    N1->setShortcutContext(Qt::WidgetShortcut);
    N1->setShortcutVisibleInContextMenu(true);
    PopupMenu1->addAction(N1);
    connect(N1, &QAction::triggered, this, [this] { runGuarded([this] { N1Click(); }); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    runGuarded([this] { FormCreate(); });
}

TfrmWord::~TfrmWord() {
    qApp->removeEventFilter(ApplicationEvents1);
    FormDestroy();
}

void TfrmWord::FormCreate() {
    QPalette face = Panel2->palette();
    face.setColor(QPalette::Window, QColor(0xF8, 0xF8, 0xF8));
    Panel2->setPalette(face);

    const std::string path = appFolder_ + "data.dll";
    if (!platform::fileExists(path))
        return;
    q_word.setConnectionText("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
                             ";Persist Security Info=False");
    q_word.open();
    WebBrowser1->loadUrl(QStringLiteral("about:blank"));
    WebBrowser2->loadUrl(QStringLiteral("about:blank"));
}

// Nothing to shut down: the web engine and the store release themselves.
void TfrmWord::FormDestroy() {}

void TfrmWord::WebBrowser1DocumentComplete() {
    WebBrowser1->setBodyScroll(QStringLiteral("no"));
}

void TfrmWord::WebBrowser2DocumentComplete() {
    WebBrowser2->setBodyScroll(QStringLiteral("no"));
}

QString TfrmWord::clockText(const QDateTime& now) {
    const QLocale locale = QLocale::system();
    QString s = QStringLiteral("现在时间:") + locale.toString(now.date(), QLocale::ShortFormat);
    const QTime t = now.time();
    if (t.hour() != 0 || t.minute() != 0 || t.second() != 0)
        s += QLatin1Char(' ') + locale.toString(t, QLocale::LongFormat);
    return s;
}

void TfrmWord::Timer1Timer() {
    statusPanels_[2]->setText(clockText(QDateTime::currentDateTime()));
}

QString TfrmWord::statusPanelText(int index) const {
    return statusPanels_[index]->text();
}

void TfrmWord::BitBtn1Click() {
    const std::string keyword = text::trim(utf8(Edit1->text()));
    if (keyword.empty()) {
        Notifier::information(this, kCaption, QStringLiteral("查询关键字不能为空！"));
    } else {
        SearchWords(q_word, keyword);
        ShowResultList();
    }
    Edit1->setFocus();
}

void TfrmWord::Edit1KeyPress(char& key) {
    if (key == '\r')
        BitBtn1Click();
}

bool TfrmWord::eventFilter(QObject* watched, QEvent* event) {
    // A focused button is pressed by Enter as by Space, unless a modifier is
    // held.
    if (watched == BitBtn1 && event->type() == QEvent::KeyPress) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        if ((keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter) &&
            (keyEvent->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            BitBtn1->click();
            return true;
        }
    }
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const QString typed = keyEvent->text();
        char key = 0;
        // Ctrl+Enter types a line feed, not a carriage return.
        if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter)
            key = keyEvent->modifiers() & Qt::ControlModifier ? '\n' : '\r';
        else if (typed.size() == 1 && typed.at(0).unicode() < 0x80)
            key = static_cast<char>(typed.at(0).unicode());
        if (key != 0)
            runGuarded([&] { Edit1KeyPress(key); });
        // The key goes on to the edit box either way.
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmWord::ShowResultList() {
    std::string document;
    if (q_word.isOpen()) {
        while (!q_word.eof()) {
            const std::string id = q_word.fieldAsText("ID");
            const std::string word = q_word.fieldAsText("WORD");
            entry_html::appendListItem(document, id, word, text::trim(utf8(Edit1->text())));
            q_word.next();
        }
    }
    WebBrowser1->setBodyInnerHtml(QString::fromStdString(document));
    WebBrowser1->setBodyMargins(5, 0, 5, 0);
    WebBrowser1->setBodyScroll(QStringLiteral("yes"));
}

void TfrmWord::WebBrowser1BeforeNavigate2(HtmlPane* /*sender*/, const QUrl& url, bool& cancel) {
    // The fragment as the user wrote it: the engine percent-encodes some
    // characters of it on the way.
    QString text = url.toString(QUrl::RemoveFragment);
    if (url.hasFragment())
        text += QLatin1Char('#') + url.fragment(QUrl::FullyDecoded);
    const std::optional<std::string> id = entry_html::idFromUrl(utf8(text));
    if (!id)
        return;
    cancel = true;
    // Shown once the engine has the answer: the error box of a failing entry
    // must not run its loop inside the engine's navigation callback.
    QTimer::singleShot(0, this,
                       [this, entry = *id] { runGuarded([&] { ShowEntryDetail(entry); }); });
}

void TfrmWord::ShowEntryDetail(const std::string& id) {
    LoadEntry(q_word, id);
    const std::string word = q_word.fieldAsText("WORD");
    std::array<std::string, 9> columns;
    for (int i = 0; i < 9; ++i) {
        const std::string stored = q_word.fieldAsText("W" + std::to_string(i + 1));
        columns[i] = text::cp936ToUtf8(RC4DecryptFromHex(stored, kFieldKey));
    }
    for (int i = 0; i < 9; ++i)
        columns[i] = entry_html::rewriteLinks(columns[i], i + 1);
    WebBrowser2->setBodyInnerHtml(
        QString::fromStdString(entry_html::detailDocument(word, columns)));
    WebBrowser2->setBodyMargins(10, 10, 5, 0);
    WebBrowser2->setBodyScroll(QStringLiteral("no"));
}

bool TfrmWord::ApplicationEvents1Message(QObject* target, QEvent* event) {
    const std::optional<input_filter::Input> input = inputOf(event);
    if (!input || !input_filter::isFiltered(*input) || !target->isWidgetType())
        return false;
    const auto* widget = static_cast<const QWidget*>(target);
    if (inside(WebBrowser1, widget))
        return true;
    if (inside(WebBrowser2, widget)) {
        // A pane without a document has no selection: the input is dropped
        // all the same.
        if (!text::isBlank(utf8(WebBrowser2->selectionText())))
            PopupMenu1->popup(QCursor::pos());
        return true;
    }
    return false;
}

void TfrmWord::N1Click() {
    const QString selection = WebBrowser2->selectionText();
    if (text::isBlank(utf8(selection)))
        return;
    QGuiApplication::clipboard()->setText(selection, QClipboard::Clipboard);
}
