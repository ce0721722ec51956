#include "QPEApplication.h"
#include "SourcePreparer.h"
#include "MyView.h"
#include "TextReader.h"

#include <QDir>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

const char Usage[] =
    "Usage: folium [FILE]\n"
    "A reader for plain text, HTML, EPUB books and Palm e-books (PalmDoc, Plucker), also in zip or\n"
    "gzip files.\n"
    "Opens FILE at the place where it was left, or the last book read.\n"
    "\n"
    "  -h, --help     show this text\n"
    "  -v, --version  show the version\n";

// --help and --version answer on the terminal, before anything needs a display.
void answerTerminalOptions(int argc, char **argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            std::fputs(Usage, stdout);
            std::exit(0);
        }
        if (!std::strcmp(argv[i], "-v") || !std::strcmp(argv[i], "--version")) {
            std::printf("folium %s\n", FOLIUM_VERSION);
            std::exit(0);
        }
    }
}

// What is left once the toolkit has taken its own options (-style, -geometry, ...): at most one
// document (after "--" even one whose name starts with "-"); any other option is refused.
// False, after saying why, when the command line cannot be followed.
bool documentArgument(int argc, char **argv, QString &document)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!optionsEnded && !std::strcmp(arg, "--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "folium: unknown option %s\n%s", arg, Usage);
            return false;
        }
        if (!document.isEmpty()) {
            std::fprintf(stderr, "folium: one document at a time\n%s", Usage);
            return false;
        }
        document = QDir::current().absoluteFilePath(QString::fromLocal8Bit(arg));
    }
    return true;
}

// For timing a start: with FOLIUM_QUIT_AFTER_FIRST_PAGE set, the reader quits as soon as the
// first page of a document has been painted (scripts/first-page.sh measures with it).
class QuitAfterFirstPage : public QObject
{
public:
    explicit QuitAfterFirstPage(TextReader *window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_window->view->documentOpen())
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return QObject::eventFilter(watched, event);
    }

private:
    TextReader *m_window;
};

} // namespace

int main(int argc, char **argv)
{
    answerTerminalOptions(argc, argv);
    auto *app = new QPEApplication(argc, argv);
    QString document;
    if (!documentArgument(argc, argv, document)) {
        delete app;
        return 2;
    }
    // Copies half-written by a reader that was killed while preparing them.
    SourcePreparer::removeAbandonedParts();
    auto *window = new TextReader(nullptr, nullptr, Qt::Window, document);
    QPEApplication::setStylusOperation(window, QPEApplication::RightOnHold);
    if (qEnvironmentVariableIsSet("FOLIUM_QUIT_AFTER_FIRST_PAGE"))
        window->view->installEventFilter(new QuitAfterFirstPage(window));
    app->showMainWidget(window, false);
    const int status = app->exec();
    delete window;
    delete app;
    return status;
}
