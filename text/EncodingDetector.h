#pragma once

#include <QByteArrayView>
#include <QString>
#include <memory>
#include <optional>

struct uchardet;

// Chooses how to decode a document from its first bytes. The rules, first match wins: a
// byte-order mark; for HTML and XML a declared charset (<meta charset>, <meta http-equiv
// content="...; charset=...">, <?xml encoding="..."?>); valid UTF-8 (pure ASCII included); the
// statistical charset detector; the locale's code page. Never answers with a decoding that
// nothing here can carry out.
class EncodingDetector
{
public:
    enum class Rule {
        ByteOrderMark,
        Declaration,
        ValidUtf8,
        Statistics,
        Locale,
    };
    enum class Decoding {
        CodePage, // a built-in table: the reader in Bytes mode, toUnicode::setCodec(decoderName)
        Utf8,
        Utf16LE,
        Utf16BE,
        Codec, // QTextCodec::codecForName(decoderName)
    };
    struct Result
    {
        Rule rule = Rule::Locale;
        Decoding decoding = Decoding::Utf8;
        QString displayName; // for the user, lower-case IANA style: "windows-1251", "utf-16le"
        // What the view's encoding setting takes: "UTF-8", "UTF-16LE", "UTF-16BE", a built-in
        // table name ("CP 1251") or a platform codec name.
        QString decoderName;
    };

    // Bytes of a document that detect() looks at; more are ignored.
    static constexpr qsizetype SampleSize = 64 * 1024;

    EncodingDetector();
    ~EncodingDetector();
    EncodingDetector(const EncodingDetector &) = delete;
    EncodingDetector &operator=(const EncodingDetector &) = delete;

    // `sample`: the document's first bytes (a sample cut inside a UTF-8 sequence still counts as
    // UTF-8). `markup`: HTML or XML, whose declarations are honoured.
    Result detect(QByteArrayView sample, bool markup);

    // The decoding for a charset label as documents and the detector write it ("ISO-8859-1",
    // "cp1251", "Shift_JIS"); the Latin-1 family reads as windows-1252, its superset. The result's
    // rule is left as Locale. Nothing when neither a table, UTF-8/16 nor a platform codec fits.
    static std::optional<Result> resolve(QByteArrayView label);

private:
    struct Free
    {
        void operator()(uchardet *detector) const;
    };
    std::unique_ptr<uchardet, Free> m_detector; // made on first use
};
