// folium-render: lays a document out with the real reading view, without a screen, and saves the
// page as a picture or prints where every line starts.
#include "ContentsScanner.h"
#include "MyView.h"
#include "TextFinder.h"
#include "UserMessages.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMainWindow>
#include <QMouseEvent>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {

int intValue(const QCommandLineParser &p, const QString &name, bool *ok)
{
    bool good = false;
    const int v = p.value(name).toInt(&good);
    if (!good)
        *ok = false;
    return v;
}

// Applies "--x" / "--no-x" pairs to a flag; the later of the two wins when both are given.
void applySwitch(const QCommandLineParser &p, const QString &name, bool &flag)
{
    const QStringList names = p.optionNames();
    const qsizetype on = names.lastIndexOf(name);
    const qsizetype off = names.lastIndexOf(QStringLiteral("no-") + name);
    if (on >= 0 || off >= 0)
        flag = on > off;
}

// Applies the events of --events to the view, in order. False (with a message) for an event
// that cannot be understood.
bool applyEvents(MyView *view, const QString &list, QTextStream &err)
{
    for (const QString &event : list.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (event == QLatin1String("next")) {
            view->nextPage();
        } else if (event == QLatin1String("prev")) {
            view->previousPage();
        } else if (event == QLatin1String("back")) {
            view->goLinkBack();
        } else if (event.startsWith(QLatin1String("key:"))) {
            const QString name = event.mid(4);
            const QKeySequence sequence = QKeySequence::fromString(name);
            if (sequence.isEmpty()) {
                err << "folium-render: unknown key " << name << "\n";
                return false;
            }
            const int key = sequence[0].key();
            const QString text = name.size() == 1 ? name : QString();
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
            QCoreApplication::sendEvent(view, &press);
        } else if (event.startsWith(QLatin1String("tap:"))) {
            const QStringList xy = event.mid(4).split(QLatin1Char(','));
            bool okX = false, okY = false;
            const int x = xy.value(0).toInt(&okX);
            const int y = xy.value(1).toInt(&okY);
            if (xy.size() != 2 || !okX || !okY) {
                err << "folium-render: a tap needs tap:<x>,<y>, not " << event << "\n";
                return false;
            }
            const QPointF at(x, y);
            QMouseEvent press(QEvent::MouseButtonPress, at, view->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(view, &press);
        } else {
            err << "folium-render: unknown event " << event << "\n";
            return false;
        }
    }
    return true;
}

// Every option folium-render takes.
void defineOptions(QCommandLineParser &p)
{
    p.setApplicationDescription(QStringLiteral("Renders pages of a document with the reading view."));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("document"), QStringLiteral("The document to lay out."));
    const QList<QCommandLineOption> valued = {
        {QStringLiteral("width"), QStringLiteral("View width in pixels (default 600)."), QStringLiteral("px"), QStringLiteral("600")},
        {QStringLiteral("height"), QStringLiteral("View height in pixels (default 800)."), QStringLiteral("px"), QStringLiteral("800")},
        {QStringLiteral("font"), QStringLiteral("Font family."), QStringLiteral("family")},
        {QStringLiteral("size"), QStringLiteral("Font size (pixels, also the line height)."), QStringLiteral("n")},
        {QStringLiteral("margin"), QStringLiteral("Left and right margin."), QStringLiteral("px")},
        {QStringLiteral("indent"), QStringLiteral("Paragraph indent."), QStringLiteral("px")},
        {QStringLiteral("spacing"), QStringLiteral("Pixels between lines."), QStringLiteral("px")},
        {QStringLiteral("rotation"), QStringLiteral("Display rotation in degrees."), QStringLiteral("deg")},
        {QStringLiteral("encoding"), QStringLiteral("Encoding name, or Automatic."), QStringLiteral("name")},
        {QStringLiteral("regexp"), QStringLiteral("Paragraph patterns, separated by |."), QStringLiteral("re")},
        {QStringLiteral("page"), QStringLiteral("Show the Nth page, reached by paging from the start."), QStringLiteral("n")},
        {QStringLiteral("position"), QStringLiteral("Show the page laid out from byte P as a paragraph start."), QStringLiteral("p")},
        {QStringLiteral("out"), QStringLiteral("Save the view's picture to this PNG file."), QStringLiteral("file")},
    };
    for (const QCommandLineOption &o : valued)
        p.addOption(o);
    for (const char *name : {"bold", "italic", "justify", "reparagraph", "bar", "strip-html", "strip-newlines"}) {
        const QString n = QString::fromLatin1(name);
        p.addOption({n, QStringLiteral("Turn %1 on.").arg(n)});
        p.addOption({QStringLiteral("no-") + n, QStringLiteral("Turn %1 off.").arg(n)});
    }
    p.addOption({QStringLiteral("events"),
                 QStringLiteral("Space-separated events after the first page: next, prev, key:<name>, tap:<x>,<y>, back."),
                 QStringLiteral("list")});
    p.addOption({QStringLiteral("dictionary"),
                 QStringLiteral("Look tapped words up in this dictionary file (the built-in dictionary)."),
                 QStringLiteral("file")});
    p.addOption({QStringLiteral("name"), QStringLiteral("Print NAME <title> and PAGENO <n> for the page shown.")});
    p.addOption({QStringLiteral("contents"),
                 QStringLiteral("Write the document's contents file: a book's own contents, else as Build Contents does."),
                 QStringLiteral("file")});
    p.addOption({QStringLiteral("info"),
                 QStringLiteral("Print TITLE, AUTHOR, LANGUAGE and CHAPTERS rows, as far as the document says them.")});
    p.addOption({QStringLiteral("find"),
                 QStringLiteral("Print HIT <first byte> <byte after the last> for every hit of TEXT from --position (or "
                                "the start) on, then show the page of the first."),
                 QStringLiteral("text")});
    p.addOption({QStringLiteral("find-prev"),
                 QStringLiteral("As --find, backward from --position (or the end): nearest hit first."),
                 QStringLiteral("text")});
    p.addOption({QStringLiteral("match-case"), QStringLiteral("Find: upper and lower case differ.")});
    p.addOption({QStringLiteral("whole-words"), QStringLiteral("Find: hits neither start nor end inside a word.")});
    p.addOption({QStringLiteral("goto-percent"), QStringLiteral("Show the page at P percent of the document."),
                 QStringLiteral("p")});
    p.addOption({QStringLiteral("lines"),
                 QStringLiteral("Print ENCODING <name>, then PAGE and LINE rows for every page drawn.")});
}

// The reader's settings changed by the options given; `ok` turns false for a malformed number.
ReaderSettings settingsFrom(const QCommandLineParser &p, ReaderSettings settings, bool &ok)
{
    auto setInt = [&](const char *name, int &member) {
        if (p.isSet(QString::fromLatin1(name)))
            member = intValue(p, QString::fromLatin1(name), &ok);
    };
    setInt("size", settings.fontSize);
    setInt("margin", settings.pageMargin);
    setInt("indent", settings.paragraphIndent);
    setInt("spacing", settings.lineSpacing);
    if (p.isSet(QStringLiteral("rotation")))
        settings.rotation = p.value(QStringLiteral("rotation")).toDouble(&ok);
    if (p.isSet(QStringLiteral("font")))
        settings.fontName = p.value(QStringLiteral("font"));
    if (p.isSet(QStringLiteral("encoding")))
        settings.encodingName = p.value(QStringLiteral("encoding"));
    if (p.isSet(QStringLiteral("dictionary"))) {
        settings.dictionaryPath = p.value(QStringLiteral("dictionary"));
        settings.internalDictionary = true;
    }
    if (p.isSet(QStringLiteral("regexp")))
        settings.paragraphRegexp = p.value(QStringLiteral("regexp"));
    applySwitch(p, QStringLiteral("bold"), settings.fontBold);
    applySwitch(p, QStringLiteral("italic"), settings.fontItalic);
    applySwitch(p, QStringLiteral("justify"), settings.justifyLines);
    applySwitch(p, QStringLiteral("reparagraph"), settings.reparagraph);
    applySwitch(p, QStringLiteral("bar"), settings.barVisible);
    applySwitch(p, QStringLiteral("strip-html"), settings.stripHtml);
    applySwitch(p, QStringLiteral("strip-newlines"), settings.stripNewlinesInHtml);
    return settings;
}

// PAGE rows for every page laid out from now on, LINE rows for every line placed.
void printRows(MyView *view, QTextStream &out)
{
    auto pagesDrawn = std::make_shared<int>(0);
    view->setPageObserver([&out, pagesDrawn](qint64 start) { out << "PAGE " << ++*pagesDrawn << ' ' << start << '\n'; });
    view->setLineObserver([&out](qint64 start, bool paragraph, const QStringList &words) {
        out << "LINE " << start << ' ' << (paragraph ? 1 : 0) << ' ' << words.join(QLatin1Char(' ')) << '\n';
    });
}

// The page asked for: the one laid out from --position, or the --page'th from the start.
void showFirstPage(MyView *view, qint64 position, int page)
{
    if (position >= 0) {
        PageStart start;
        start.position = position;
        start.paragraph = true;
        start.penColor = Qt::black;
        start.bold = view->settings().fontBold;
        start.italic = view->settings().fontItalic;
        view->showPageAt(start);
        return;
    }
    view->resizePixmapSlot();  // the first page again, from the page history
    for (int i = 1; i < page && !view->atEnd(); ++i)
        view->nextPage();
}

// What the document says about itself: a book its metadata, an HTML page its title.
void printInfo(MyView *view, QTextStream &out)
{
    const BookInfo &book = view->document().book();
    const QString title = view->documentTitle();
    if (!title.isEmpty())
        out << "TITLE " << title << '\n';
    if (!book.author.isEmpty())
        out << "AUTHOR " << book.author << '\n';
    if (!book.language.isEmpty())
        out << "LANGUAGE " << book.language << '\n';
    if (view->document().isBook())
        out << "CHAPTERS " << book.chapters << '\n';
}


// The hits --find or --find-prev asks for, searched on a thread of its own while the window and
// its fonts are set up; joined before the view opens the document (an archive is prepared once).
class HitSearch
{
public:
    HitSearch(const QCommandLineParser &p, const FindSource &source, qint64 position)
        : m_backward(!p.isSet(QStringLiteral("find"))), m_source(source), m_position(position)
    {
        FindOptions options;
        options.matchCase = p.isSet(QStringLiteral("match-case"));
        options.wholeWords = p.isSet(QStringLiteral("whole-words"));
        m_query = FindQuery(p.value(m_backward ? QStringLiteral("find-prev") : QStringLiteral("find")), options);
        m_thread = std::thread([this] { run(); });
    }
    ~HitSearch() { join(); }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    // Searches again, here, when the view reads the document otherwise than guessed.
    void redoFor(const FindSource &source)
    {
        join();
        if (source == m_source)
            return;
        m_source = source;
        run();
    }
    const Status &status() const { return m_status; }
    const std::vector<Hit> &hits() const { return m_hits; }
    const FindQuery &query() const { return m_query; }

private:
    void run()
    {
        m_hits.clear();
        TextFinder finder;
        m_status = finder.open(m_source);
        if (!m_status.isOk())
            return;
        finder.setQuery(m_query);
        finder.addReadingPlace(m_position, false);  // the page shown is laid out from there
        if (!m_backward) {
            finder.findAll(std::max<qint64>(0, m_position), finder.size(), [this](const Hit &hit) {
                m_hits.push_back(hit);
                return true;
            });
            return;
        }
        Hit hit;
        qint64 before = m_position >= 0 ? m_position : finder.size();
        while (before > 0 && finder.findBackward(before, 0, &hit) == TextFinder::Result::Found) {
            m_hits.push_back(hit);
            before = hit.first;
        }
    }

    bool m_backward;
    FindSource m_source;
    qint64 m_position;
    FindQuery m_query;
    Status m_status = Status::ok();
    std::vector<Hit> m_hits;
    std::thread m_thread;
};

// Prints the hits and shows the page of the first. False (with a message) when the document
// cannot be searched.
bool printHitsAndShow(HitSearch &search, MyView *view, QTextStream &out, QTextStream &err)
{
    search.redoFor(view->findSource());
    if (!search.status().isOk()) {
        err << "folium-render: cannot search the document: " << QString::fromStdString(search.status().message())
            << "\n";
        return false;
    }
    for (const Hit &hit : search.hits())
        out << "HIT " << hit.first << ' ' << hit.end << '\n';
    out.flush();
    if (!search.hits().empty())
        view->showHit(search.query(), search.hits().front());
    return true;
}

// --info, --name, --contents and --out, once the events have run.
int writeOutputs(const QCommandLineParser &p, MyView *view, QTextStream &out, QTextStream &err)
{
    if (p.isSet(QStringLiteral("info")))
        printInfo(view, out);
    if (p.isSet(QStringLiteral("name")))
        out << "NAME " << view->getBookmarkName() << "\nPAGENO " << view->getPageNumber() << '\n';
    out.flush();
    if (p.isSet(QStringLiteral("contents"))) {
        const QString file = p.value(QStringLiteral("contents"));
        const QList<BookmarkRecord> own = bookContents(view->document());
        if (own.isEmpty())
            view->generateContents(file);
        if ((!own.isEmpty() && !writeBookmarkRecords(file, own)) || !QFileInfo::exists(file)) {
            err << "folium-render: cannot write " << file << "\n";
            return 1;
        }
    }
    if (p.isSet(QStringLiteral("out"))) {
        const QString file = p.value(QStringLiteral("out"));
        if (!view->grab().save(file, "PNG")) {
            err << "folium-render: cannot write " << file << "\n";
            return 1;
        }
    }
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("folium-render"));
    QCommandLineParser p;
    defineOptions(p);
    p.process(app);

    QTextStream err(stderr);
    QTextStream out(stdout);
    if (p.positionalArguments().size() != 1) {
        err << "usage: folium-render [options] DOCUMENT (see --help)\n";
        return 2;
    }
    const QString document = p.positionalArguments().first();
    const QFileInfo info(document);
    if (!info.exists() || !info.isFile() || !info.isReadable()) {
        err << "folium-render: cannot read " << document << "\n";
        return 1;
    }

    // The search starts before the window: its settings are the view's defaults and the options.
    std::unique_ptr<HitSearch> search;
    if (p.isSet(QStringLiteral("find")) || p.isSet(QStringLiteral("find-prev"))) {
        bool good = true;
        const ReaderSettings guess = settingsFrom(p, ReaderSettings{}, good);
        const qint64 from = p.isSet(QStringLiteral("position")) ? p.value(QStringLiteral("position")).toLongLong() : -1;
        if (good)
            search = std::make_unique<HitSearch>(p, MyView::findSourceFor(document, guess), from);
    }

    QMainWindow window;
    auto *view = new MyView(&window, "view");
    window.setCentralWidget(view);
    bool ok = true;
    const int width = intValue(p, QStringLiteral("width"), &ok);
    const int height = intValue(p, QStringLiteral("height"), &ok);
    view->setSettings(settingsFrom(p, view->settings(), ok));
    const int page = p.isSet(QStringLiteral("page")) ? intValue(p, QStringLiteral("page"), &ok) : 1;
    const qint64 position = p.isSet(QStringLiteral("position")) ? p.value(QStringLiteral("position")).toLongLong(&ok) : -1;
    if (!ok || width <= 0 || height <= 0 || page < 1 || (p.isSet(QStringLiteral("position")) && position < 0)) {
        err << "folium-render: an option has a value that is not a valid number\n";
        return 2;
    }

    QString failure;
    setWarningSink([&failure](QWidget *, const QString &, const QString &text) { failure = text; });
    view->setFixedSize(width, height);
    // A window that is shown (though never on a screen) gets its resize events now, not in the
    // middle of the events below.
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    QCoreApplication::processEvents();
    view->pickupSettings();
    if (search)
        search->join();
    view->fileOpen(document);
    if (!view->documentOpen()) {
        err << "folium-render: cannot open " << document << (failure.isEmpty() ? QString() : ": " + failure) << "\n";
        return 1;
    }
    // Rows are printed for the pages laid out from here on; the page drawn by opening is laid out
    // again as page 1.
    if (p.isSet(QStringLiteral("lines"))) {
        out << "ENCODING " << view->document().encodingShown() << '\n';
        printRows(view, out);
    }
    showFirstPage(view, position, page);
    if (p.isSet(QStringLiteral("goto-percent"))) {
        const QString value = p.value(QStringLiteral("goto-percent"));
        const double percent = QString(value).remove(QLatin1Char('%')).toDouble(&ok);
        if (!ok || !(percent >= 0 && percent <= 100)) {
            err << "folium-render: --goto-percent takes a number from 0 to 100\n";
            return 2;
        }
        view->goToPercent(percent);
    }
    if (search && !printHitsAndShow(*search, view, out, err))
        return 1;
    if (!applyEvents(view, p.value(QStringLiteral("events")), err))
        return 2;
    return writeOutputs(p, view, out, err);
}
