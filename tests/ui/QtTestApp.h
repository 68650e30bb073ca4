#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>

#include <ostream>

// Widgets need one QApplication per process; every ui test asks for it here
// so that the suites share it. The tests run on Qt's offscreen platform.
inline QApplication& EnsureQApplication()
{
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication application(argc, argv);
    return application;
}

// Readable Qt strings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '{';
    for (const QString& text : list)
        *out << " \"" << text.toStdString() << '"';
    *out << " }";
}
