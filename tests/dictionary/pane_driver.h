#pragma once
// Drives an HtmlPane as a person does, and looks into its document from the
// isolated script world (content scripts are off in the main world).

#include "html_pane.h"

#include <QPoint>
#include <QString>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace pane_driver {

inline constexpr int kTimeoutMs = 15000;

// `s` as a JavaScript string literal.
inline QString literal(QString s) {
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    s.replace(QLatin1Char('"'), QLatin1String("\\\""));
    s.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// The value of `js` in the pane's document; invalid when it did not answer.
inline QVariant eval(HtmlPane* pane, const QString& js) {
    QVariant out;
    bool done = false;
    pane->page()->runJavaScript(js, QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
        out = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, kTimeoutMs))
        return {};
    return out;
}

// Waits until the pane has loaded its page and run all queued DOM work.
[[nodiscard]] inline bool waitIdle(HtmlPane* pane) {
    return QTest::qWaitFor([&] { return !pane->isBusy(); }, kTimeoutMs);
}

inline QString bodyHtml(HtmlPane* pane) {
    return eval(pane, QStringLiteral("document.body ? document.body.innerHTML : null")).toString();
}

// Centre of the first element matching `selector`, in pane coordinates;
// (-1, -1) when there is none.
inline QPoint centreOf(HtmlPane* pane, const QString& selector) {
    const QVariant v =
        eval(pane, QStringLiteral("(function(){var e=document.querySelector(%1);"
                                  "if(!e)return null;e.scrollIntoView({block:'nearest'});"
                                  "var r=e.getBoundingClientRect();"
                                  "return [r.left+r.width/2, r.top+r.height/2];})()")
                       .arg(literal(selector)));
    const QVariantList xy = v.toList();
    if (xy.size() != 2)
        return {-1, -1};
    return QPoint(qRound(xy[0].toDouble()), qRound(xy[1].toDouble()));
}

// The widget that receives the pane's mouse and key input.
inline QWidget* inputWidget(HtmlPane* pane) {
    return pane->focusProxy() ? pane->focusProxy() : pane;
}

// The screen position of the centre of the first element matching `selector`.
inline QPoint globalCentreOf(HtmlPane* pane, const QString& selector) {
    return inputWidget(pane)->mapToGlobal(centreOf(pane, selector));
}

inline bool click(HtmlPane* pane, const QString& selector, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers modifiers = {}) {
    const QPoint at = centreOf(pane, selector);
    if (at.x() < 0)
        return false;
    QTest::mouseMove(inputWidget(pane), at);
    QTest::mouseClick(inputWidget(pane), button, modifiers, at);
    return true;
}

// Selects the contents of the first element matching `selector` and waits
// until the pane reports the selection.
[[nodiscard]] inline bool select(HtmlPane* pane, const QString& selector) {
    eval(pane, QStringLiteral("(function(){var e=document.querySelector(%1);"
                              "var s=window.getSelection();s.removeAllRanges();"
                              "if(e)s.selectAllChildren(e);})()")
                   .arg(literal(selector)));
    return QTest::qWaitFor([&] { return !pane->selectionText().isEmpty(); }, kTimeoutMs);
}

[[nodiscard]] inline bool clearSelection(HtmlPane* pane) {
    eval(pane, QStringLiteral("window.getSelection().removeAllRanges()"));
    return QTest::qWaitFor([&] { return pane->selectionText().isEmpty(); }, kTimeoutMs);
}

} // namespace pane_driver
