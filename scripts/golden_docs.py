#!/usr/bin/env python3
"""Writes the fixed set of documents that scripts/golden.sh renders.

Every byte is derived from a fixed seed, so two runs write identical files on any machine.
Usage: golden_docs.py FOLDER
"""
import gzip
import io
import random
import struct
import sys
import zipfile
import zlib
from pathlib import Path

WORDS = ("the quick brown fox jumps over a lazy dog while seven wizards quietly judge "
         "boxing matches under pale lanterns near old harbours and distant mountains").split()


def prose(rng, paragraphs, indent="    ", width=70):
    out = []
    for _ in range(paragraphs):
        words = [rng.choice(WORDS) for _ in range(rng.randint(8, 120))]
        line, lines = indent, []
        for w in words:
            if len(line) + len(w) > width:
                lines.append(line.rstrip())
                line = ""
            line += w + " "
        lines.append(line.rstrip() + ".")
        out.append("\n".join(lines))
        if rng.random() < 0.3:
            out.append("")  # a blank line between some paragraphs
    return "\n".join(out) + "\n"


def plain_text(rng):
    head = "Title Of The Book\n\nChapter 1\n\n"
    body = prose(rng, 40)
    odd = ("\n\n  Chapter 2\n\nA\ttab\tseparated   line with   runs of spaces.\n"
           "averyveryveryverylongwordthatcannotfitonanylinebecauseitgoesonandonandonandonandonandon\n"
           "Windows line\r\nends here\r\n\r\nand a paragraph after them.\n")
    return head + body + odd + prose(rng, 30)


def html_page(rng):
    parts = ["<html><head><title>Golden</title></head><body>\n"]
    for chapter in range(1, 9):
        parts.append(f'<h2><a name="ch{chapter}">Chapter {chapter}</a></h2>\n')
        for _ in range(rng.randint(2, 5)):
            text = prose(rng, 1, indent="").replace("\n", " ")
            words = text.split(" ")
            i = rng.randrange(len(words))
            words[i] = "<b>" + words[i] + "</b>"
            j = rng.randrange(len(words))
            words[j] = words[j] + " &amp; &lt;tag&gt; &quot;q&quot;&nbsp;x &copy;"
            parts.append("<p>" + " ".join(words) + "\n")
        parts.append("line one<br>line two<BR >line three\n")
    parts.append("</body></html>\n")
    return "".join(parts)


def hostile_html(rng):
    pieces = ['<div class="x">', "<p style='a>b'>", "</p>\n", "<!-- <p> & </div> -->", "<br>", "&amp; ",
              "&eacute;t&eacute; ", "a & b ", "1 < 2 ", "<script>var s = '</p><p>';</script>",
              "<h2 id=h>Head</h2>", "<td>c</td><td>d</td>", "<pre>pre  text\nmore\n</pre>", "&nosuch; ",
              "<style>p { }</style>", "<li>item", "&#8212; "]
    out = ["<!DOCTYPE html><html><head><title>Hostile &amp; odd</title></head><body>"]
    for line in prose(rng, 60).split("\n"):
        out.append(line)
        out.append(rng.choice(pieces) if rng.random() < 0.4 else "\n")
    return "".join(out)


def palmdoc_compress(data: bytes) -> bytes:
    """Literals, space+letter pairs and a back-reference wherever the previous 8 bytes repeat."""
    out = bytearray()
    i = 0
    while i < len(data):
        ref = data.rfind(data[i:i + 4], max(0, i - 2047), i) if i + 4 <= len(data) else -1
        if ref >= 0 and i - ref >= 1:
            length = 4
            while length < 10 and i + length < len(data) and data[ref + length] == data[i + length] \
                    and ref + length < i:
                length += 1
            distance = i - ref
            out += struct.pack(">H", 0x8000 | distance << 3 | (length - 3))
            i += length
        elif data[i] == 0x20 and i + 1 < len(data) and 0x40 <= data[i + 1] <= 0x7F:
            out.append(data[i + 1] ^ 0x80)
            i += 2
        elif 0x01 <= data[i] <= 0x08 or data[i] >= 0x80:
            n = 1
            while n < 8 and i + n < len(data) and (0x01 <= data[i + n] <= 0x08 or data[i + n] >= 0x80):
                n += 1
            out.append(n)
            out += data[i:i + n]
            i += n
        else:
            out.append(data[i])
            i += 1
    return bytes(out)


def database(type_creator: bytes, records):
    out = bytearray(b"golden book".ljust(60, b"\0"))
    out += type_creator.ljust(8)
    out += bytes(8)
    out += struct.pack(">H", len(records))
    offset = 78 + 8 * len(records) + 2
    for k, r in enumerate(records):
        out += struct.pack(">IHH", offset, 0, k)
        offset += len(r)
    out += bytes(2)
    for r in records:
        out += r
    return bytes(out)


def palmdoc_book(text: bytes):
    size = 4096
    records = [palmdoc_compress(text[i:i + size]) for i in range(0, len(text), size)]
    header = struct.pack(">HHIHHI", 2, 0, len(text), len(records), size, 0)
    return database(b"TEXtREAd", [header] + records)


def plucker_code(*codes):
    return b"\0" + bytes(codes)


def plucker_record(uid, type_, paragraphs, data):
    out = struct.pack(">HHHBB", uid, len(paragraphs), sum(len(p) for p in paragraphs), type_, 0)
    for p in paragraphs:
        out += struct.pack(">HH", len(p), 0)
    return out + data


def plucker_book(rng):
    c = plucker_code
    home = [
        c(0x11, 1) + b"Golden Plucker" + c(0x11, 0),
        b"Some " + c(0x40) + b"italic" + c(0x48) + b" and " + c(0x60) + b"underlined" + c(0x68)
        + b" words, then a " + c(0x0A, 0, 3) + b"link to record three" + c(0x08)
        + b" and a " + c(0x0C, 0, 4, 0, 1) + b"link to a paragraph" + c(0x08) + b".",
        b"A line" + c(0x38) + b"break and an image " + c(0x1A, 0, 9) + b"here.",
    ]
    for _ in range(25):
        home.append(prose(rng, 1, indent="").replace("\n", " ").encode())
    chapter = [c(0x11, 3) + b"Record three" + c(0x11, 0)] + [prose(rng, 1, "").encode() for _ in range(8)]
    fourth = [prose(rng, 1, "").encode() for _ in range(6)]
    index = struct.pack(">HHHHH", 1, 2, 1, 0, 1)
    records = [index,
               plucker_record(2, 1, home, zlib.compress(b"".join(home), 9)),
               plucker_record(9, 2, [], bytes(16)),
               plucker_record(3, 0, chapter, b"".join(chapter)),
               plucker_record(4, 1, fourth, zlib.compress(b"".join(fourth), 9))]
    return database(b"DataPlkr", records)


RUSSIAN = ("Мороз и солнце; день чудесный! Ещё ты дремлешь, друг прелестный. Пора, красавица, "
           "проснись: открой сомкнуты негой взоры навстречу северной Авроры, звездою севера явись! ")
GREEK = "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία. Γαζίες και μυρτιές δεν θα βρω πια στο χρυσαφί ξέφωτο. "
LATIN1 = "Voix ambiguë d'un coeur qui au zéphyr préfère les jattes de kiwis. Çà et là, déjà. "


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    rng = random.Random(20261207)
    text = plain_text(rng).encode()
    (folder / "text.txt").write_bytes(text)
    (folder / "page.html").write_bytes(html_page(rng).encode())
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        info = zipfile.ZipInfo("inner.txt", date_time=(2020, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, text)
    (folder / "archive.zip").write_bytes(buffer.getvalue())
    (folder / "packed.txt.gz").write_bytes(gzip.compress(text, mtime=0))
    (folder / "palmdoc.pdb").write_bytes(palmdoc_book(text))
    (folder / "plucker.pdb").write_bytes(plucker_book(rng))
    paragraphs = "\n\n".join("    " + RUSSIAN * rng.randint(1, 4) for _ in range(30)) + "\n"
    (folder / "russian-utf8.txt").write_bytes(paragraphs.encode("utf-8"))
    (folder / "russian-cp1251.txt").write_bytes(paragraphs.encode("cp1251"))
    (folder / "russian-koi8r.txt").write_bytes(paragraphs.encode("koi8_r"))
    greek = "\n\n".join("  " + GREEK * rng.randint(1, 4) for _ in range(30)) + "\n"
    (folder / "greek-iso8859-7.txt").write_bytes(greek.encode("iso8859_7"))
    latin = "\n\n".join("  " + LATIN1 * rng.randint(1, 4) for _ in range(30)) + "\n"
    (folder / "french-latin1.txt").write_bytes(latin.encode("latin-1"))
    (folder / "russian-utf16.txt").write_bytes(b"\xff\xfe" + paragraphs.encode("utf-16-le"))
    (folder / "windows.txt").write_bytes(prose(rng, 25).replace("\n", "\r\n").encode())
    (folder / "hostile.html").write_bytes(hostile_html(rng).encode())
    (folder / "words.tsv").write_bytes(
        "brown\t{s}{ss}braun{/ss}{/ss}{/s}\nfox\t{s}{ps}n{/ps}{ss}Fuchs{/ss}{ss}schlauer Mensch{/ss}{/s}\n"
        "quick\tschnell\n".encode())


if __name__ == "__main__":
    main()
