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

    // Shows `widget` as the application's window. With `noMaximize` false the window keeps the
    // size and state it asked for itself.
    void showMainWidget(QWidget *widget, bool noMaximize = false);
};
