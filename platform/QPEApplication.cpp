#include "QPEApplication.h"

#include <QWidget>

namespace {
const char *const StylusProperty = "_folium_stylus_mode";
}

QPEApplication::QPEApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

void QPEApplication::setStylusOperation(QWidget *widget, StylusMode mode)
{
    if (widget)
        widget->setProperty(StylusProperty, int(mode));
}

QPEApplication::StylusMode QPEApplication::stylusOperation(const QWidget *widget)
{
    if (!widget)
        return LeftOnly;
    return StylusMode(widget->property(StylusProperty).toInt());
}

void QPEApplication::showMainWidget(QWidget *widget, bool noMaximize)
{
    Q_UNUSED(noMaximize);
    if (!widget)
        return;
    widget->show();
    widget->raise();
    widget->activateWindow();
}
