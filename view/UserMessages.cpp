#include "UserMessages.h"

#include <QMessageBox>

namespace {
WarningSink &currentSink()
{
    static WarningSink sink;
    return sink;
}
} // namespace

void showWarning(QWidget *parent, const QString &caption, const QString &text)
{
    if (currentSink()) {
        currentSink()(parent, caption, text);
        return;
    }
    QMessageBox::information(parent, caption, text);
}

WarningSink setWarningSink(WarningSink sink)
{
    WarningSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}
