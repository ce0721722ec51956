#include "PluckerCodes.h"

#include "PositionedReader.h"

namespace {

enum class CodeGroup { Link, Style, Italic, Underline, Skipped, Other };

struct Code
{
    CodeGroup group;
    int arguments;
};

Code describe(int code)
{
    switch (code) {
    case 0x08: return {CodeGroup::Link, 0};
    case 0x0A: return {CodeGroup::Link, 2};
    case 0x0C: return {CodeGroup::Link, 4};
    case 0x11: return {CodeGroup::Style, 1};
    case 0x40: case 0x48: return {CodeGroup::Italic, 0};
    case 0x60: case 0x68: return {CodeGroup::Underline, 0};
    case 0x1A: case 0x22: return {CodeGroup::Skipped, 2};
    case 0x29: return {CodeGroup::Skipped, 1};
    case 0x33: case 0x53: return {CodeGroup::Skipped, 3};
    case 0x5C: return {CodeGroup::Skipped, 4};
    default: return {CodeGroup::Other, 0};
    }
}

// Applies one code with its argument bytes to `style`.
void apply(TextStyle &style, int code, const int *a)
{
    switch (code) {
    case 0x08:
        style.linkRecord = style.linkParagraph = 0;
        style.penColor = Qt::black;
        break;
    case 0x0A:
        style.linkRecord = uint16_t(a[0] << 8 | a[1]);
        style.linkParagraph = 0;
        style.penColor = Qt::darkBlue;
        break;
    case 0x0C:
        style.linkRecord = uint16_t(a[0] << 8 | a[1]);
        style.linkParagraph = uint16_t(a[2] << 8 | a[3]);
        style.penColor = Qt::blue;
        break;
    case 0x11:
        // 0 regular, 1-6 headings, 7 bold; larger values are not styles.
        if (a[0] == 0)
            style.bold = false, style.fontIncrement = 0;
        else if (a[0] <= 2)
            style.bold = true, style.fontIncrement = 2;
        else if (a[0] <= 4)
            style.bold = false, style.fontIncrement = 2;
        else if (a[0] <= 7)
            style.bold = true, style.fontIncrement = 0;
        break;
    case 0x40: style.italic = true; break;
    case 0x48: style.italic = false; break;
    case 0x60: style.underline = true; break;
    case 0x68: style.underline = false; break;
    default: break;
    }
}

// The converter ends every paragraph with these bytes: its line feed, then codes that end the
// link and reset every style. A code or argument never reaches into them.
constexpr unsigned char ParagraphEnd[10] = {0x0A, 0x00, 0x08, 0x00, 0x48, 0x00, 0x68, 0x00, 0x11, 0x00};

// The next byte of a code, or -1 at the end of the file or of the paragraph, where the file
// stays. Only a line feed costs a look further on.
int readCodeByte(PositionedReader &file)
{
    const qint64 at = file.pos();
    const int b = file.readByte();
    if (b != ParagraphEnd[0])
        return b;
    for (size_t i = 1; i < sizeof ParagraphEnd; ++i) {
        if (file.readByte() != ParagraphEnd[i]) {
            file.seek(at + 1);
            return b;
        }
    }
    file.seek(at);
    return -1;
}

// Reads `count` argument bytes; a byte missing at the end of the file or the paragraph reads as 0.
void readArguments(PositionedReader &file, int count, int *a)
{
    for (int i = 0; i < count; ++i) {
        const int b = readCodeByte(file);
        if (b < 0)
            return;
        a[i] = b;
    }
}

} // namespace

namespace PluckerCodes {

char32_t pluckerDecode(PositionedReader &file, TextStyle &style, uint8_t &lineFontIncrement)
{
    const int code = readCodeByte(file);
    if (code < 0)
        return 0;
    const Code c = describe(code);
    int a[4] = {0, 0, 0, 0};
    readArguments(file, c.arguments, a);
    apply(style, code, a);
    if (code == 0x11 && style.fontIncrement > lineFontIncrement)
        lineFontIncrement = style.fontIncrement;
    return code == 0x38 ? U'\n' : 0;
}

void findPluckerAttrBack(PositionedReader &file, qint64 pos, TextStyle &style)
{
    bool decided[4] = {false, false, false, false};  // link, style, italic, underline
    int undecided = 4;
    for (qint64 p = pos - 1, scanned = 0; p >= 1 && scanned < 15999 && undecided > 0; --p, ++scanned) {
        file.seek(p);
        if (file.readByte() != 0)
            continue;
        const int code = readCodeByte(file);
        if (code < 0)
            continue;
        const Code c = describe(code);
        const int group = int(c.group);
        if (group > int(CodeGroup::Underline) || decided[group])
            continue;
        int a[4] = {0, 0, 0, 0};
        readArguments(file, c.arguments, a);
        apply(style, code, a);
        decided[group] = true;
        --undecided;
    }
    file.seek(pos);
}

bool paragraphEndAt(PositionedReader &file, qint64 pos)
{
    file.seek(pos);
    bool end = true;
    for (size_t i = 0; end && i < sizeof ParagraphEnd; ++i)
        end = file.readByte() == ParagraphEnd[i];
    file.seek(pos);
    return end;
}

} // namespace PluckerCodes
