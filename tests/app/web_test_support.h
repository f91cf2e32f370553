#pragma once

// Helpers of the tests that run the web view (under Xvfb).

#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest>

namespace quorra_test {

// What the script gives in the page of the view, once it has run ("timeout" when it does not run in 10 s).
inline QVariant Evaluate(QWebEngineView* view, const QString& script)
{
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        return QStringLiteral("timeout");
    return result;
}

} // namespace quorra_test
