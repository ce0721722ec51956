// folium-convert SRC OUT [--rim RIM]: prepares a .zip, .gz, .pdb or .prc file the way the reader
// does, writing the text it would read to OUT (and a Plucker paragraph index to RIM), and prints
// which kind it was: zip, gzip, palmdoc or plucker. On failure it prints the reader's message
// and exits with 1; nothing is left at OUT or RIM.
#include "SourcePreparer.h"
#include "Unzip.h"
#include "makedoc9.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: folium-convert SRC OUT [--rim RIM]\n");
    return 2;
}

// Prints the reader's message and what was wrong, and removes whatever was written.
int fail(const Status &status, const QByteArray &out, const QByteArray &rim)
{
    ::unlink(out.constData());
    if (!rim.isEmpty())
        ::unlink(rim.constData());
    if (status.detail().empty())
        std::fprintf(stderr, "%s\n", status.message().c_str());
    else
        std::fprintf(stderr, "%s (%s)\n", status.message().c_str(), status.detail().c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 && !(argc == 5 && std::strcmp(argv[3], "--rim") == 0))
        return usage();
    const QString source = QFile::decodeName(argv[1]);
    const QByteArray out = argv[2];
    const QByteArray rim = argc == 5 ? QByteArray(argv[4]) : QByteArray();

    switch (SourcePreparer::kindOf(source)) {
    case SourcePreparer::Kind::Zip:
    case SourcePreparer::Kind::Gzip: {
        const bool zip = SourcePreparer::kindOf(source) == SourcePreparer::Kind::Zip;
        const int fd = ::open(out.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0)
            return fail(Status::error(Status::Code::WriteFailed, std::string("cannot write ") + argv[2],
                                      std::strerror(errno)),
                        out, QByteArray());
        Unzip archive(source);
        Status status = zip ? archive.uncompress(fd) : archive.ungzip(fd);
        if (::close(fd) != 0 && status.isOk())
            status = Status::error(Status::Code::WriteFailed, std::string("cannot write ") + argv[2], std::strerror(errno));
        if (!status.isOk())
            return fail(status, out, QByteArray());
        std::printf("%s\n", zip ? "zip" : "gzip");
        return 0;
    }
    case SourcePreparer::Kind::Palm: {
        const makedoc9::Conversion converted =
            makedoc9::Decomp(argv[1], out.constData(), rim.isEmpty() ? nullptr : rim.constData());
        if (converted.result == makedoc9::Failed)
            return fail(converted.status, out, rim);
        std::printf("%s\n", converted.result == makedoc9::Plucker ? "plucker" : "palmdoc");
        return 0;
    }
    case SourcePreparer::Kind::Plain:
        break;
    }
    std::fprintf(stderr, "not a .zip, .gz, .pdb or .prc file: %s\n", argv[1]);
    return 2;
}
