#include "QPEApplication.h"
#include "TextReader.h"

int main(int argc, char **argv)
{
    auto *app = new QPEApplication(argc, argv);
    auto *window = new TextReader(nullptr, nullptr, Qt::Window);
    QPEApplication::setStylusOperation(window, QPEApplication::RightOnHold);
    app->showMainWidget(window, false);
    const int status = app->exec();
    delete window;
    delete app;
    return status;
}
