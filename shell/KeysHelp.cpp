#include "KeysHelp.h"

#include <QCoreApplication>

namespace {
struct Key
{
    const char *keys;
    const char *does;
};

// Reading; the arrow keys follow the rotation (shown for 0 degrees).
const Key Reading[] = {
    {"Page Down, Down", "next page"},
    {"Page Up, Up", "previous page"},
    {"Mouse wheel", "next or previous page"},
    {"Home / End", "first page / last page"},
    {"Left / Right", "smaller / larger font"},
    {"Ctrl + mouse wheel", "larger or smaller font"},
    {"Return", "start or stop scrolling by itself"},
    {"B", "show or hide the progress bar"},
    {"S", "read the text as HTML, or not"},
    {"R", "turn the page a quarter turn"},
    {"Space", "full screen, or back"},
    {"F11", "open the menu"},
    {"Click on a word", "look it up (on a link: follow it)"},
    {"Click on the progress bar", "go to that part of the book"},
};

const Key Commands[] = {
    {"Ctrl+O", "open a book"},
    {"Ctrl+L", "the library"},
    {"Ctrl+D", "add a mark for this page"},
    {"Ctrl+B", "the marks"},
    {"Ctrl+S", "save the marks"},
    {"Ctrl+T", "the table of contents"},
    {"Ctrl+F", "find in the book (Enter / Shift+Enter: next / previous, Escape: stop or close)"},
    {"F3 / Shift+F3", "next / previous hit"},
    {"Ctrl+G", "go to a page or a percentage (\"45%\")"},
    {"Ctrl+Q", "quit"},
    {"F1", "this list"},
    {"Escape", "leave the marks, the contents or the library"},
};

const Key Translation[] = {
    {"Letters, Backspace", "edit the word looked up"},
    {"Return, a click", "back to the page"},
};

QString rows(const char *title, const Key *keys, size_t count)
{
    QString out = QStringLiteral("<tr><td colspan=2><b>%1</b></td></tr>").arg(QCoreApplication::translate("Keys", title));
    for (size_t i = 0; i < count; ++i)
        out += QStringLiteral("<tr><td>%1&nbsp;&nbsp;</td><td>%2</td></tr>")
                   .arg(QCoreApplication::translate("Keys", keys[i].keys), QCoreApplication::translate("Keys", keys[i].does));
    return out;
}
} // namespace

QString keysText()
{
    return QStringLiteral("<table>") + rows("Reading", Reading, std::size(Reading))
         + rows("Commands", Commands, std::size(Commands))
         + rows("On the translation page", Translation, std::size(Translation)) + QStringLiteral("</table>");
}
