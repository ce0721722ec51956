#pragma once

#include <QApplication>

// The application object. On a desktop the pen's long press is a mouse's right button, so
// stylus handling is a stored choice only.
class QPEApplication : public QApplication
{
    Q_OBJECT

public:
    enum StylusMode {
        LeftOnly,
        RightOnHold  // a long press acts as a right button press
    };

    QPEApplication(int &argc, char **argv);

    static void setStylusOperation(QWidget *widget, StylusMode mode);
    static StylusMode stylusOperation(const QWidget *widget);

    // Shows `widget` as the application's window, in the size and state it has set for itself;
    // on a desktop the window manager has the last word about maximising, so `noMaximize` only
    // says that the caller does not insist.
    void showMainWidget(QWidget *widget, bool noMaximize = false);
};
