#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>

#include <ostream>

// Widgets need one QApplication per process; every ui test asks for it here
// so that the suites share it. It is created on first use and destroyed when
// the test program's run ends (QtTestApp.cpp), while Qt's own globals still
// exist. The tests run on Qt's offscreen platform.
QApplication& EnsureQApplication();

// Readable Qt strings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '{';
    for (const QString& text : list)
        *out << " \"" << text.toStdString() << '"';
    *out << " }";
}
