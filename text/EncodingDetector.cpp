#include "EncodingDetector.h"

#include <QTextCodec>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <uchardet.h>

namespace {

using Decoding = EncodingDetector::Decoding;
using Result = EncodingDetector::Result;
using Rule = EncodingDetector::Rule;

constexpr size_t LongestLabel = 64; // longer "charset names" are not names
// The statistical detector's time grows with every byte it sees, and a byte above 0x7F costs about
// three times as much as an ASCII one (it goes through every single-byte model). It sees at most
// this much, which keeps a whole detection within 2 ms and is plenty to tell code pages apart.
constexpr size_t StatisticsBytes = 16 * 1024;
constexpr size_t StatisticsHighBytes = 4 * 1024;
constexpr size_t StatisticsLeadIn = 256; // plain ASCII kept before the first byte above 0x7F

// Each decoding we carry out ourselves, with the labels that name it, written as normalizedLabel()
// leaves them: lower case, letters and digits only.
struct Known
{
    const char *displayName;
    const char *decoderName;
    Decoding decoding;
    const char *labels; // separated by spaces
};

// UTF-8, UTF-16LE and UTF-16BE come first: the byte-order mark rule takes them by index.
const Known KnownEncodings[] = {
    {"utf-8", "UTF-8", Decoding::Utf8, "utf8 unicode11utf8 unicode20utf8 xunicode20utf8"},
    {"utf-16le", "UTF-16LE", Decoding::Utf16LE,
     "utf16le utf16 unicode ucs2 csunicode iso10646ucs2 unicodefeff"},
    {"utf-16be", "UTF-16BE", Decoding::Utf16BE, "utf16be unicodefffe"},
    {"koi8-r", "KOI8-R", Decoding::CodePage, "koi8r koi8 cskoi8r"},
    {"koi8-u", "KOI8-U", Decoding::CodePage, "koi8u koi8ru"},
    {"iso-8859-2", "ISO 8859-2", Decoding::CodePage, "iso88592 latin2 l2 isoir101 csisolatin2 iso885921987"},
    {"iso-8859-3", "ISO 8859-3", Decoding::CodePage, "iso88593 latin3 l3 isoir109 csisolatin3 iso885931988"},
    {"iso-8859-4", "ISO 8859-4", Decoding::CodePage, "iso88594 latin4 l4 isoir110 csisolatin4 iso885941988"},
    {"iso-8859-5", "ISO 8859-5", Decoding::CodePage,
     "iso88595 cyrillic isoir144 csisolatincyrillic iso885951988"},
    {"iso-8859-6", "ISO 8859-6-I", Decoding::CodePage,
     "iso88596 iso88596i iso88596e arabic isoir127 ecma114 asmo708 csisolatinarabic csiso88596i csiso88596e "
     "iso885961987"},
    {"iso-8859-7", "ISO 8859-7", Decoding::CodePage,
     "iso88597 greek greek8 elot928 ecma118 isoir126 csisolatingreek suneugreek iso885971987"},
    {"iso-8859-8", "ISO 8859-8-I", Decoding::CodePage,
     "iso88598 iso88598i iso88598e hebrew isoir138 csisolatinhebrew visual logical csiso88598i csiso88598e "
     "iso885981988"},
    {"iso-8859-9", "ISO 8859-9", Decoding::CodePage, "iso88599 latin5 l5 isoir148 csisolatin5 iso885991989"},
    {"iso-8859-10", "ISO 8859-10", Decoding::CodePage,
     "iso885910 latin6 l6 isoir157 csisolatin6 iso8859101992"},
    {"iso-8859-11", "ISO 8859-11", Decoding::CodePage, "iso885911"},
    {"iso-8859-13", "ISO 8859-13", Decoding::CodePage, "iso885913 latin7 l7"},
    {"iso-8859-14", "ISO 8859-14", Decoding::CodePage,
     "iso885914 latin8 l8 isoceltic isoir199 iso8859141998"},
    {"iso-8859-15", "ISO 8859-15", Decoding::CodePage, "iso885915 latin9 latin0 l9 csisolatin9"},
    {"ptcp154", "PT 154", Decoding::CodePage, "ptcp154 pt154 cp154 csptcp154 cyrillicasian"},
    {"windows-874", "CP 874", Decoding::CodePage, "windows874 cp874 xwindows874 dos874 ibm874 tis620"},
    {"windows-1250", "CP 1250", Decoding::CodePage, "windows1250 cp1250 xcp1250"},
    {"windows-1251", "CP 1251", Decoding::CodePage, "windows1251 cp1251 xcp1251"},
    // Documents labelled Latin-1 or ASCII are written on windows-1252 more often than not, and it
    // agrees with Latin-1 on every printable character.
    {"windows-1252", "CP 1252", Decoding::CodePage,
     "windows1252 cp1252 xcp1252 iso88591 latin1 l1 isoir100 csisolatin1 cp819 ibm819 iso885911987 "
     "usascii ascii ansix341968 iso646us us cp367 ibm367 csascii"},
    {"windows-1253", "CP 1253", Decoding::CodePage, "windows1253 cp1253 xcp1253"},
    {"windows-1254", "CP 1254", Decoding::CodePage, "windows1254 cp1254 xcp1254"},
    {"windows-1255", "CP 1255", Decoding::CodePage, "windows1255 cp1255 xcp1255"},
    {"windows-1256", "CP 1256", Decoding::CodePage, "windows1256 cp1256 xcp1256"},
    {"windows-1257", "CP 1257", Decoding::CodePage, "windows1257 cp1257 xcp1257"},
    {"windows-1258", "CP 1258", Decoding::CodePage, "windows1258 cp1258 xcp1258"},
};

std::string normalizedLabel(std::string_view label)
{
    std::string out;
    for (const char c : label) {
        if (c >= 'A' && c <= 'Z')
            out += char(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out += c;
    }
    return out;
}

const Known *findKnown(std::string_view label)
{
    const std::string key = normalizedLabel(label);
    if (key.empty())
        return nullptr;
    for (const Known &known : KnownEncodings) {
        std::string_view labels = known.labels;
        while (!labels.empty()) {
            const size_t space = labels.find(' ');
            if (labels.substr(0, space) == key)
                return &known;
            labels = space == std::string_view::npos ? std::string_view() : labels.substr(space + 1);
        }
    }
    return nullptr;
}

Result resultFor(const Known &known)
{
    Result r;
    r.decoding = known.decoding;
    r.displayName = QString::fromLatin1(known.displayName);
    r.decoderName = QString::fromLatin1(known.decoderName);
    return r;
}

Result utf8(Rule rule)
{
    Result r = resultFor(KnownEncodings[0]);
    r.rule = rule;
    return r;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// `word` (lower case) at `at` in `text`, ASCII case ignored.
bool matchesAt(std::string_view text, size_t at, std::string_view word)
{
    if (at > text.size() || text.size() - at < word.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (lower(text[at + i]) != word[i])
            return false;
    }
    return true;
}

size_t skipSpaces(std::string_view text, size_t i)
{
    while (i < text.size() && isSpace(text[i]))
        ++i;
    return i;
}

struct Attribute
{
    std::string_view name, value;
};

// Reads the attribute at `i` of a tag and moves past it; false at the tag's end ('>' or "?>").
bool nextAttribute(std::string_view text, size_t &i, Attribute &attribute)
{
    while (i < text.size() && (isSpace(text[i]) || text[i] == '/'))
        ++i;
    if (i >= text.size() || text[i] == '>' || (text[i] == '?' && i + 1 < text.size() && text[i + 1] == '>'))
        return false;
    const size_t nameStart = i++; // one character at least, so every call moves on
    while (i < text.size() && !isSpace(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/')
        ++i;
    attribute.name = text.substr(nameStart, i - nameStart);
    attribute.value = {};
    i = skipSpaces(text, i);
    if (i >= text.size() || text[i] != '=')
        return true;
    i = skipSpaces(text, i + 1);
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
        const size_t close = text.find(text[i], i + 1);
        const size_t end = close == std::string_view::npos ? text.size() : close;
        attribute.value = text.substr(i + 1, end - i - 1);
        i = std::min(text.size(), end + 1);
        return true;
    }
    const size_t valueStart = i;
    while (i < text.size() && !isSpace(text[i]) && text[i] != '>')
        ++i;
    attribute.value = text.substr(valueStart, i - valueStart);
    return true;
}

bool nameIs(std::string_view name, std::string_view lowerCase)
{
    return name.size() == lowerCase.size() && matchesAt(name, 0, lowerCase);
}

// The charset in a Content-Type value: "text/html; charset=koi8-r".
std::string_view charsetInContentType(std::string_view content)
{
    for (size_t i = 0; i + 7 <= content.size(); ++i) {
        if (!matchesAt(content, i, "charset"))
            continue;
        size_t j = skipSpaces(content, i + 7);
        if (j >= content.size() || content[j] != '=')
            continue;
        j = skipSpaces(content, j + 1);
        if (j < content.size() && (content[j] == '"' || content[j] == '\'')) {
            const size_t close = content.find(content[j], j + 1);
            return close == std::string_view::npos ? std::string_view()
                                                   : content.substr(j + 1, close - j - 1);
        }
        size_t end = j;
        while (end < content.size() && !isSpace(content[end]) && content[end] != ';')
            ++end;
        return content.substr(j, end - j);
    }
    return {};
}

// The encoding named by an XML declaration at the start of `text`.
std::string_view xmlDeclaredEncoding(std::string_view text)
{
    size_t i = skipSpaces(text, 0);
    if (text.substr(i, 5) != "<?xml" || i + 5 >= text.size() || !isSpace(text[i + 5]))
        return {};
    i += 5;
    Attribute attribute;
    while (nextAttribute(text, i, attribute)) {
        if (attribute.name == "encoding")
            return attribute.value;
    }
    return {};
}

// The charset of the first meta tag that declares one, outside comments.
std::string_view htmlDeclaredCharset(std::string_view text)
{
    size_t i = 0;
    while ((i = text.find('<', i)) != std::string_view::npos) {
        if (text.substr(i, 4) == "<!--") {
            const size_t end = text.find("-->", i + 4);
            if (end == std::string_view::npos)
                return {};
            i = end + 3;
            continue;
        }
        if (!matchesAt(text, i, "<meta") || i + 5 >= text.size() ||
            !(isSpace(text[i + 5]) || text[i + 5] == '/')) {
            ++i;
            continue;
        }
        i += 5;
        std::string_view charset, content;
        bool contentType = false;
        Attribute attribute;
        while (nextAttribute(text, i, attribute)) {
            if (nameIs(attribute.name, "charset"))
                charset = attribute.value;
            else if (nameIs(attribute.name, "content"))
                content = attribute.value;
            else if (nameIs(attribute.name, "http-equiv"))
                contentType = nameIs(attribute.value, "content-type");
        }
        if (!charset.empty())
            return charset;
        if (contentType) {
            const std::string_view declared = charsetInContentType(content);
            if (!declared.empty())
                return declared;
        }
    }
    return {};
}

// UTF-8 throughout; a sequence cut by the end of the sample counts, since the sample is a prefix.
bool isUtf8(std::string_view text)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *end = p + text.size();
    while (p < end) {
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080u)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned lead = *p++;
        if (lead < 0x80)
            continue;
        int following;
        unsigned low = 0x80, high = 0xBF; // the range of the first continuation byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            following = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            following = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
            high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            following = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
        } else {
            return false;
        }
        for (int k = 0; k < following; ++k, ++p) {
            if (p == end)
                return true;
            if (*p < low || *p > high)
                return false;
            low = 0x80, high = 0xBF;
        }
    }
    return true;
}

bool isHigh(char c)
{
    return static_cast<unsigned char>(c) >= 0x80;
}

// The part of `text` that the statistical detector sees: from shortly before the first byte above
// 0x7F (ASCII before it, such as a long HTML head, tells nothing) to the budget's end, cut after a
// space or line feed where one is near, since neither is ever part of a longer character.
std::string_view statisticsWindow(std::string_view text)
{
    size_t start = 0;
    while (start < text.size() && !isHigh(text[start]))
        ++start;
    start = start > StatisticsLeadIn ? start - StatisticsLeadIn : 0;
    const size_t limit = std::min(text.size(), start + StatisticsBytes);
    size_t end = start, high = 0;
    while (end < limit && !(isHigh(text[end]) && ++high > StatisticsHighBytes))
        ++end;
    if (end < text.size()) {
        const size_t space = text.substr(start, end - start).find_last_of(" \n");
        if (space != std::string_view::npos && space > (end - start) / 2)
            end = start + space + 1;
    }
    return text.substr(start, end - start);
}

// A document claiming UTF-16 or UTF-32 in a declaration we could read as ASCII is not one.
bool isWideUnicode(const Result &r)
{
    if (r.decoding == Decoding::Utf16LE || r.decoding == Decoding::Utf16BE)
        return true;
    if (r.decoding != Decoding::Codec)
        return false;
    const QTextCodec *codec = QTextCodec::codecForName(r.decoderName.toLatin1());
    const int mib = codec ? codec->mibEnum() : 0;
    return mib == 1000 || mib == 1001 || (mib >= 1013 && mib <= 1019);
}

} // namespace

void EncodingDetector::Free::operator()(uchardet *detector) const
{
    uchardet_delete(detector);
}

EncodingDetector::EncodingDetector() = default;
EncodingDetector::~EncodingDetector() = default;

std::optional<Result> EncodingDetector::resolve(QByteArrayView label)
{
    const std::string_view text(label.data(), size_t(label.size()));
    if (text.empty() || text.size() > LongestLabel)
        return std::nullopt;
    if (const Known *known = findKnown(text))
        return resultFor(*known);
    const QByteArray name(label.data(), label.size());
    if (name.contains('\0'))
        return std::nullopt;
    QTextCodec *codec = QTextCodec::codecForName(name);
    if (!codec)
        return std::nullopt;
    const QByteArray codecName = codec->name();
    if (const Known *known = findKnown(std::string_view(codecName.constData(), size_t(codecName.size()))))
        return resultFor(*known);
    Result r;
    r.decoding = Decoding::Codec;
    r.displayName = QString::fromLatin1(codecName).toLower();
    r.decoderName = QString::fromLatin1(codecName);
    return r;
}

EncodingDetector::Result EncodingDetector::detect(QByteArrayView sample, bool markup)
{
    const std::string_view text(sample.data(), size_t(std::min(sample.size(), SampleSize)));
    const auto startsWith = [&](std::string_view mark) { return text.substr(0, mark.size()) == mark; };

    if (startsWith("\xEF\xBB\xBF"))
        return utf8(Rule::ByteOrderMark);
    if (startsWith("\xFF\xFE") || startsWith("\xFE\xFF")) {
        Result r = resultFor(KnownEncodings[text[0] == '\xFF' ? 1 : 2]);
        r.rule = Rule::ByteOrderMark;
        return r;
    }

    if (markup) {
        for (const std::string_view declared : {xmlDeclaredEncoding(text), htmlDeclaredCharset(text)}) {
            if (std::optional<Result> r =
                    resolve(QByteArrayView(declared.data(), qsizetype(declared.size())))) {
                if (isWideUnicode(*r))
                    return utf8(Rule::Declaration);
                r->rule = Rule::Declaration;
                return *r;
            }
        }
    }

    if (isUtf8(text))
        return utf8(Rule::ValidUtf8);

    if (!m_detector)
        m_detector.reset(uchardet_new());
    if (m_detector) {
        uchardet_reset(m_detector.get());
        const std::string_view window = statisticsWindow(text);
        if (uchardet_handle_data(m_detector.get(), window.data(), window.size()) == 0) {
            uchardet_data_end(m_detector.get());
            const char *guess = uchardet_get_charset(m_detector.get());
            if (std::optional<Result> r = resolve(QByteArrayView(guess ? guess : ""))) {
                r->rule = Rule::Statistics;
                return *r;
            }
        }
    }

    const QTextCodec *locale = QTextCodec::codecForLocale();
    std::optional<Result> r = locale ? resolve(locale->name()) : std::nullopt;
    if (!r)
        return utf8(Rule::Locale);
    r->rule = Rule::Locale;
    return *r;
}
