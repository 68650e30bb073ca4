#pragma once

#include <QString>

// Reading numbers from edit fields the way dialog data exchange does: the
// whole text must be the number, with optional blanks or tabs around it.
bool ParseFieldInteger(const QString& text, int& value);
bool ParseFieldNumber(const QString& text, double& value);
