#pragma once

#include <QString>
#include <functional>

class QWidget;

// Every message box of the view goes through here, so tests and tools can take the message
// instead of a modal box that would wait for a click.
using WarningSink = std::function<void(QWidget *parent, const QString &caption, const QString &text)>;

// Shows an information box with one button; with a sink installed, hands the message to it.
void showWarning(QWidget *parent, const QString &caption, const QString &text);
// Installs `sink` (an empty function restores the message box) and returns the previous one.
WarningSink setWarningSink(WarningSink sink);
