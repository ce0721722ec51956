#include "QPEApplication.h"
#include "SourcePreparer.h"
#include "TextReader.h"

#include <QDir>
#include <cstdio>
#include <cstring>

namespace {

const char Usage[] =
    "Usage: folium [FILE]\n"
    "A reader for plain text, HTML and Palm e-books (PalmDoc, Plucker), also in zip or gzip files.\n"
    "Opens FILE at the place where it was left, or the last book read.\n"
    "\n"
    "  -h, --help     show this text\n"
    "  -v, --version  show the version\n";

// --help and --version answer on the terminal without a display; anything else starting with
// "-" is refused. Returns the document to open (empty for none), or exits.
QString documentArgument(int argc, char **argv)
{
    QString document;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
            std::fputs(Usage, stdout);
            std::exit(0);
        }
        if (!std::strcmp(arg, "-v") || !std::strcmp(arg, "--version")) {
            std::printf("folium %s\n", FOLIUM_VERSION);
            std::exit(0);
        }
        if (arg[0] == '-' && arg[1] != '\0' && std::strcmp(arg, "--") != 0) {
            std::fprintf(stderr, "folium: unknown option %s\n%s", arg, Usage);
            std::exit(2);
        }
        if (std::strcmp(arg, "--") == 0 && i + 1 < argc)
            arg = argv[++i];
        if (!document.isEmpty()) {
            std::fprintf(stderr, "folium: one document at a time\n%s", Usage);
            std::exit(2);
        }
        document = QDir::current().absoluteFilePath(QString::fromLocal8Bit(arg));
    }
    return document;
}

} // namespace

int main(int argc, char **argv)
{
    const QString document = documentArgument(argc, argv);
    auto *app = new QPEApplication(argc, argv);
    // Copies half-written by a reader that was killed while preparing them.
    SourcePreparer::removeAbandonedParts();
    auto *window = new TextReader(nullptr, nullptr, Qt::Window, document);
    QPEApplication::setStylusOperation(window, QPEApplication::RightOnHold);
    app->showMainWidget(window, false);
    const int status = app->exec();
    delete window;
    delete app;
    return status;
}
