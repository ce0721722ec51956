#include "SourcePreparer.h"
#include "EpubBook.h"
#include "Fb2Book.h"
#include "MobiBook.h"
#include "FileIo.h"
#include "PluckerIndex.h"
#include "Unzip.h"
#include "makedoc9.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Layout of the private folder, for a document whose base name (file name up to its first ".")
// is B:
//   B.txt   the prepared text the view reads
//   B.rim   a Plucker document's paragraph index
//   B.info  an e-book's BookInfo (its B.txt is HTML)
//   B.src   which source B.txt (and B.rim) were made from and what they looked like when
//           complete; without it, or when it does not match, they are never reused
//   .part-* output being written, under an exclusive flock of its writer until it is renamed
//           into place once complete; a part nobody holds is abandoned
// Every file is created with O_EXCL | O_NOFOLLOW relative to the folder's descriptor, and only
// renamed over the final names, so a planted symbolic link is replaced, never followed.

namespace {

constexpr size_t NameMax = 255; // one path component, in bytes
// The first line of a stamp; a stamp of another version is not reused.
constexpr char StampMagic[] = "folium prepared copy 2\n";

// Opens `path` as a directory owned by this user with mode 0700, making it so if it is ours
// with another mode. A symbolic link, another owner or a non-directory gives -1.
int openPrivateDir(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()
        || ((st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// B + ext as one path component. A base too long for that keeps its start (cut on a character
// boundary) and gains a digest of the whole base, so different long names stay apart.
QByteArray componentName(const QByteArray &base, const char *ext)
{
    const QByteArray whole = base + ext;
    if (size_t(whole.size()) <= NameMax)
        return whole;
    const QByteArray digest = QCryptographicHash::hash(base, QCryptographicHash::Sha1).toHex().left(16);
    int keep = int(NameMax) - int(qstrlen(ext)) - 1 - digest.size();
    while (keep > 0 && (uchar(base[keep]) & 0xC0) == 0x80)
        --keep;
    return base.left(keep) + '-' + digest + ext;
}

QByteArray baseName(const QString &documentPath)
{
    const QString name = QFileInfo(documentPath).fileName();
    const int dot = name.indexOf(QLatin1Char('.'));
    return QFile::encodeName(dot < 0 ? name : name.left(dot));
}

qint64 nanoseconds(const struct timespec &t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; }

// What a stamp records: the source file's path and identity when the copy was made, the version
// of the conversion where it has one, and the identity and size of the finished copy and of its
// companion, if it has one. Written as "key value" lines, the path last.
QByteArray stampText(const QByteArray &source, const struct stat &s, const struct stat &copy, const struct stat *rim,
                     const QByteArray &format)
{
    QByteArray t(StampMagic);
    // The version of a converted format: positions kept by the user are offsets into the copy,
    // so a copy made differently is never taken for the one they were kept in.
    if (!format.isEmpty())
        t += "format " + format + '\n';
    t += "source-dev " + QByteArray::number(quint64(s.st_dev)) + '\n';
    t += "source-ino " + QByteArray::number(quint64(s.st_ino)) + '\n';
    t += "source-size " + QByteArray::number(qint64(s.st_size)) + '\n';
    t += "source-mtime " + QByteArray::number(nanoseconds(s.st_mtim)) + '\n';
    t += "copy-dev " + QByteArray::number(quint64(copy.st_dev)) + '\n';
    t += "copy-ino " + QByteArray::number(quint64(copy.st_ino)) + '\n';
    t += "copy-size " + QByteArray::number(qint64(copy.st_size)) + '\n';
    if (rim) {
        t += "rim-dev " + QByteArray::number(quint64(rim->st_dev)) + '\n';
        t += "rim-ino " + QByteArray::number(quint64(rim->st_ino)) + '\n';
        t += "rim-size " + QByteArray::number(qint64(rim->st_size)) + '\n';
    }
    t += "source-path " + source;
    return t;
}

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }
bool sameContent(const struct stat &a, const struct stat &b)
{
    return sameFile(a, b) && a.st_size == b.st_size && nanoseconds(a.st_mtim) == nanoseconds(b.st_mtim);
}

// What lies at `path`, for a message about a document that is not a regular file.
std::string whatIsAt(const QByteArray &path)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return "not a regular file";
    if (S_ISDIR(st.st_mode))
        return "a folder, not a file";
    if (S_ISFIFO(st.st_mode))
        return "a named pipe, not a file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "a device, not a file";
    if (S_ISSOCK(st.st_mode))
        return "a socket, not a file";
    return "not a regular file";
}

// Closes a descriptor when it goes out of scope.
struct FdCloser
{
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

struct SourcePreparer::Private
{
    QString root;
    QString folderPath; // the folder in use; empty until settled
    bool fallback = false;
    int dirFd = -1;
    quint64 maxCopySize = CopyMeter::DefaultLimit;
    QHash<QString, QByteArray> made; // prepared text path -> its stamp's name
    QList<QByteArray> madeRims;

    enum class Reuse { No, Text, TextAndRim };

    // One document being prepared: its source, open, and the names of its files in the folder.
    struct Job
    {
        Kind kind;
        int sourceFd;
        struct stat sourceStat;
        QByteArray source;  // the source's absolute path, as the stamp records it
        QByteArray base;    // the folder names' common start
        bool book() const { return isBook(kind); }
        QByteArray textName() const { return componentName(base, ".txt"); }
        QByteArray stampName() const { return componentName(base, ".src"); }
        // The companion: a Plucker book's paragraph index, an e-book's description.
        QByteArray companionName() const { return componentName(base, book() ? ".info" : ".rim"); }
        // What the copy is, beyond its source, for the stamp: a book's converter and its version.
        QByteArray format() const;
    };

    bool ensureFolder();
    int createPart(QByteArray &name);
    Reuse stampMatches(const QByteArray &stampName, const QByteArray &textName, const QByteArray &rimName,
                       const QByteArray &source, const struct stat &s, const QByteArray &format) const;
    void writeStamp(const QByteArray &stampName, const QByteArray &source, const struct stat &s,
                    const struct stat &copy, const struct stat *rim, const QByteArray &format);
    std::optional<BookInfo> readInfo(const QByteArray &name) const;
    QString pathOf(const QByteArray &name) const;
    bool reuseCopy(const Job &job, Result &result);
    Status makeCopy(const Job &job, const PrepareProgress &progress, Result &result);
};

bool SourcePreparer::Private::ensureFolder()
{
    // Checked again at every use: the folder may have been removed or replaced meanwhile.
    if (dirFd >= 0)
        ::close(dirFd);
    dirFd = -1;
    if (!fallback) {
        const QByteArray path = QFile::encodeName(root + QLatin1String("/folium"));
        ::mkdir(path.constData(), 0700);
        dirFd = openPrivateDir(path);
        if (dirFd >= 0) {
            folderPath = root + QLatin1String("/folium");
            return true;
        }
        fallback = true;
        folderPath.clear();
    }
    if (!folderPath.isEmpty()) {
        dirFd = openPrivateDir(QFile::encodeName(folderPath));
        if (dirFd >= 0)
            return true;
    }
    QByteArray path = QFile::encodeName(root + QLatin1String("/folium-XXXXXX"));
    if (!::mkdtemp(path.data())) {
        folderPath.clear();
        return false;
    }
    dirFd = openPrivateDir(path);
    folderPath = dirFd >= 0 ? QFile::decodeName(path) : QString();
    made.clear();
    madeRims.clear();
    return dirFd >= 0;
}

int SourcePreparer::Private::createPart(QByteArray &name)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".part-";
        for (int i = 0; i < 12; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        const int fd = ::openat(dirFd, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return -1;
        // Held until the part is renamed into place and closed. Where locks are not to be had
        // (ENOLCK) the part goes unlocked: the sweep cannot lock it either and so leaves it.
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        struct stat st;
        if (::fstat(fd, &st) == 0 && st.st_nlink > 0)
            return fd;
        ::close(fd); // swept away between creation and locking: take another name
    }
    return -1;
}

SourcePreparer::Private::Reuse SourcePreparer::Private::stampMatches(const QByteArray &stampName,
                                                                     const QByteArray &textName,
                                                                     const QByteArray &rimName,
                                                                     const QByteArray &source,
                                                                     const struct stat &s,
                                                                     const QByteArray &format) const
{
    const int fd = ::openat(dirFd, stampName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Reuse::No;
    struct stat st;
    QByteArray stamp;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_size < 65536) {
        stamp.resize(int(st.st_size));
        if (::pread(fd, stamp.data(), size_t(stamp.size()), 0) != ssize_t(stamp.size()))
            stamp.clear();
    }
    ::close(fd);
    auto ours = [this](const QByteArray &name, struct stat &st) {
        return ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && st.st_uid == ::geteuid();
    };
    struct stat copy, rim;
    if (stamp.isEmpty() || !ours(textName, copy))
        return Reuse::No;
    if (stamp == stampText(source, s, copy, nullptr, format))
        return Reuse::Text;
    return ours(rimName, rim) && stamp == stampText(source, s, copy, &rim, format) ? Reuse::TextAndRim : Reuse::No;
}

std::optional<BookInfo> SourcePreparer::Private::readInfo(const QByteArray &name) const
{
    const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const FdCloser closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 64 * 1024 * 1024)
        return std::nullopt;
    QByteArray text(qsizetype(st.st_size), Qt::Uninitialized);
    if (!fileio::readExactlyAt(fd, 0, text.data(), size_t(text.size())))
        return std::nullopt;
    return BookInfo::fromText(text);
}

void SourcePreparer::Private::writeStamp(const QByteArray &stampName, const QByteArray &source,
                                         const struct stat &s, const struct stat &copy, const struct stat *rim,
                                         const QByteArray &format)
{
    QByteArray part;
    const int fd = createPart(part);
    if (fd < 0)
        return; // the copy is complete, it just will not be reused
    const QByteArray text = stampText(source, s, copy, rim, format);
    const bool written = fileio::writeAll(fd, text.constData(), size_t(text.size()));
    // Renamed while still locked, so that a sweep never takes it for abandoned.
    const bool placed = written && ::renameat(dirFd, part.constData(), dirFd, stampName.constData()) == 0;
    if (!placed)
        ::unlinkat(dirFd, part.constData(), 0);
    if (::close(fd) != 0 && placed)
        ::unlinkat(dirFd, stampName.constData(), 0);
}

SourcePreparer::SourcePreparer() : SourcePreparer(QStringLiteral("/tmp")) {}

SourcePreparer::SourcePreparer(const QString &folderRoot) : d(new Private)
{
    d->root = folderRoot;
}

SourcePreparer::~SourcePreparer()
{
    // A fallback folder is this object's alone and nobody could reuse what is in it.
    if (d->fallback && d->dirFd >= 0) {
        for (auto it = d->made.cbegin(); it != d->made.cend(); ++it) {
            ::unlinkat(d->dirFd, QFile::encodeName(QFileInfo(it.key()).fileName()).constData(), 0);
            ::unlinkat(d->dirFd, it.value().constData(), 0);
        }
        for (const QByteArray &rim : std::as_const(d->madeRims))
            ::unlinkat(d->dirFd, rim.constData(), 0);
        ::rmdir(QFile::encodeName(d->folderPath).constData()); // only if nothing else is left
    }
    if (d->dirFd >= 0)
        ::close(d->dirFd);
    delete d;
}

SourcePreparer::Kind SourcePreparer::kindOf(const QString &documentPath)
{
    const QString name = QFileInfo(documentPath).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    if (ext == QLatin1String("zip"))
        return name.endsWith(QLatin1String(".fb2.zip"), Qt::CaseInsensitive) ? Kind::Fb2Zip : Kind::Zip;
    if (ext == QLatin1String("gz"))
        return Kind::Gzip;
    if (ext == QLatin1String("pdb") || ext == QLatin1String("prc"))
        return Kind::Palm;
    if (ext == QLatin1String("epub"))
        return Kind::Epub;
    if (ext == QLatin1String("mobi") || ext == QLatin1String("azw") || ext == QLatin1String("azw3"))
        return Kind::Mobi;
    if (ext == QLatin1String("fb2"))
        return Kind::Fb2;
    return Kind::Plain;
}

namespace {
// What the user is told when a document of this kind cannot be prepared.
const char *failureMessage(SourcePreparer::Kind kind)
{
    switch (kind) {
    case SourcePreparer::Kind::Zip: return "Error openning .zip file!";
    case SourcePreparer::Kind::Gzip: return "Error openning .gz file!";
    case SourcePreparer::Kind::Palm: return "Unsupported Palm Document!";
    case SourcePreparer::Kind::Epub:
    case SourcePreparer::Kind::Mobi:
    case SourcePreparer::Kind::Fb2:
    case SourcePreparer::Kind::Fb2Zip: return "The book cannot be opened.";
    case SourcePreparer::Kind::Plain: break;
    }
    return "Not an archive or a Palm database";
}
} // namespace

SourcePreparer::Kind SourcePreparer::refineKind(Kind byName, int fd)
{
    if (byName == Kind::Zip) {
        if (EpubBook::looksLikeEpub(fd))
            return Kind::Epub;
        if (Unzip::firstFileName(fd).endsWith(QLatin1String(".fb2"), Qt::CaseInsensitive))
            return Kind::Fb2Zip;
    }
    if (byName == Kind::Palm && MobiBook::looksLikeMobi(fd))
        return Kind::Mobi;
    return byName;
}

void SourcePreparer::setMaxCopySize(quint64 bytes)
{
    d->maxCopySize = bytes;
}

quint64 SourcePreparer::maxCopySize() const
{
    return d->maxCopySize;
}

Status SourcePreparer::openSource(const QString &documentPath, int *fd)
{
    const Kind kind = kindOf(documentPath);
    const QByteArray path = QFile::encodeName(documentPath);
    *fd = fileio::openRegularForReading(path.constData());
    if (*fd >= 0)
        return Status::ok();
    const int error = errno;
    if (error == EISDIR || error == ENXIO)  // a folder; a FIFO, socket or device
        return Status::error(Status::Code::NotRegularFile, "Only regular files can be opened", whatIsAt(path));
    return Status::error(error == ENOENT || error == ENOTDIR ? Status::Code::NotFound : Status::Code::Unreadable,
                         failureMessage(kind), std::strerror(error));
}

Status SourcePreparer::unpack(Kind kind, int sourceFd, int textFd, int companionFd, CopyMeter &meter, bool *companion)
{
    *companion = false;
    struct stat st;
    if (::fstat(sourceFd, &st) != 0)
        return Status::error(Status::Code::Unreadable, failureMessage(kind), std::strerror(errno));
    if (!meter.start(uint64_t(st.st_size)))
        return meter.stopStatus();
    Status status;
    switch (kind) {
    case Kind::Zip:
        status = Unzip(sourceFd, meter).uncompress(textFd);
        break;
    case Kind::Gzip:
        status = Unzip(sourceFd, meter).ungzip(textFd);
        break;
    case Kind::Palm: {
        const makedoc9::Conversion converted = makedoc9::Decomp(sourceFd, textFd, companionFd, &meter);
        status = converted.status;
        *companion = converted.result == makedoc9::Plucker;
        break;
    }
    case Kind::Epub:
    case Kind::Mobi:
    case Kind::Fb2:
    case Kind::Fb2Zip: {
        BookInfo info;
        status = kind == Kind::Epub ? EpubBook::convert(sourceFd, textFd, meter, info)
               : kind == Kind::Mobi ? MobiBook::convert(sourceFd, textFd, meter, info)
                                    : Fb2Book::convert(sourceFd, kind == Kind::Fb2Zip, textFd, meter, info);
        if (status.isOk() && companionFd >= 0) {
            const QByteArray text = info.toText();
            if (!fileio::writeAll(companionFd, text.constData(), size_t(text.size())))
                status = Status::error(Status::Code::WriteFailed, failureMessage(kind), std::strerror(errno));
            *companion = status.isOk();
        }
        break;
    }
    case Kind::Plain:
        return Status::error(Status::Code::Unsupported, failureMessage(kind), "a plain document needs no preparing");
    }
    if (status.isOk())
        meter.finish();
    return status;
}

SourcePreparer::Result SourcePreparer::prepare(const QString &documentPath, const PrepareProgress &progress)
{
    Result result;
    Kind kind = kindOf(documentPath);
    if (kind == Kind::Plain) {
        result.status = Status::error(Status::Code::Unsupported, failureMessage(kind),
                                      "a plain document needs no preparing");
        return result;
    }
    const QString absolute = QFileInfo(documentPath).absoluteFilePath();
    int sourceFd;
    result.status = openSource(absolute, &sourceFd);
    if (!result.status.isOk())
        return result;
    const FdCloser sourceCloser{sourceFd};
    kind = refineKind(kind, sourceFd);
    if (kind == Kind::Zip)
        result.innerName = Unzip::firstFileName(sourceFd);
    else if (kind == Kind::Gzip)
        result.innerName = QFileInfo(documentPath).completeBaseName();
    Private::Job job{kind, sourceFd, {}, QFile::encodeName(absolute), baseName(documentPath)};
    if (::fstat(sourceFd, &job.sourceStat) != 0)
        result.status = Status::error(Status::Code::Unreadable, failureMessage(kind), std::strerror(errno));
    else if (!d->ensureFolder())
        result.status = Status::error(Status::Code::WriteFailed, failureMessage(kind),
                                      "no private temporary folder can be made");
    else if (!d->reuseCopy(job, result))
        result.status = d->makeCopy(job, progress, result);
    else if (progress)
        progress(quint64(job.sourceStat.st_size), quint64(job.sourceStat.st_size));
    return result;
}

QString SourcePreparer::Private::pathOf(const QByteArray &name) const
{
    return folderPath + QLatin1Char('/') + QFile::decodeName(name);
}

QByteArray SourcePreparer::Private::Job::format() const
{
    switch (kind) {
    case Kind::Epub: return "epub " + QByteArray::number(EpubBook::FormatVersion);
    case Kind::Mobi: return "mobi " + QByteArray::number(MobiBook::FormatVersion);
    case Kind::Fb2:
    case Kind::Fb2Zip: return "fb2 " + QByteArray::number(Fb2Book::FormatVersion);
    default: return QByteArray();
    }
}

// A complete copy of the very same source, with its companion where it needs one, fills `result`.
bool SourcePreparer::Private::reuseCopy(const Job &job, Result &result)
{
    Reuse reuse = stampMatches(job.stampName(), job.textName(), job.companionName(), job.source, job.sourceStat,
                               job.format());
    std::optional<BookInfo> info;
    if (job.book() && (reuse != Reuse::TextAndRim || !(info = readInfo(job.companionName()))))
        reuse = Reuse::No;  // a book is reused only with its description
    if (reuse == Reuse::No)
        return false;
    made.insert(pathOf(job.textName()), job.stampName());
    result.textPath = pathOf(job.textName());
    if (job.kind == Kind::Palm && reuse == Reuse::TextAndRim) {
        madeRims.append(job.companionName());
        result.plucker = true;
        result.rimPath = pathOf(job.companionName());
    }
    if (info) {
        madeRims.append(job.companionName());
        result.book = true;
        result.info = *info;
    }
    return true;
}

// Writes the copy (and its companion) as parts under their writer's lock, renames them into place
// when complete, and only then stamps them as reusable.
Status SourcePreparer::Private::makeCopy(const Job &job, const PrepareProgress &progress, Result &result)
{
    const Kind kind = job.kind;
    const QByteArray textName = job.textName(), stampName = job.stampName(), rimName = job.companionName();
    auto failWith = [kind](Status::Code code, const std::string &detail) {
        return Status::error(code, failureMessage(kind), detail);
    };
    // From here on B.txt is being replaced; whatever it holds is no longer a finished copy.
    ::unlinkat(dirFd, stampName.constData(), 0);
    const bool wantsCompanion = kind == Kind::Palm || job.book();
    if (wantsCompanion)
        ::unlinkat(dirFd, rimName.constData(), 0);

    QByteArray textPart, rimPart;
    const int textFd = createPart(textPart);
    if (textFd < 0)
        return failWith(Status::Code::WriteFailed, std::string("cannot create the copy: ") + std::strerror(errno));
    const int rimFd = wantsCompanion ? createPart(rimPart) : -1;
    if (wantsCompanion && rimFd < 0) {
        const std::string why = std::strerror(errno);
        ::unlinkat(dirFd, textPart.constData(), 0);
        ::close(textFd);
        return failWith(Status::Code::WriteFailed, "cannot create the companion file: " + why);
    }

    CopyMeter meter(maxCopySize, progress);
    bool plucker = false;
    Status status = unpack(kind, job.sourceFd, textFd, rimFd, meter, &plucker);
    struct stat copy, rim, sourceAfter;
    if (status.isOk() && (::fstat(textFd, &copy) != 0 || (plucker && ::fstat(rimFd, &rim) != 0)))
        status = failWith(Status::Code::WriteFailed, "cannot finish writing the copy");

    // The parts are renamed while their writer still holds them, and closed only then.
    bool rimPlaced = false, textPlaced = false;
    if (status.isOk() && plucker) {
        rimPlaced = ::renameat(dirFd, rimPart.constData(), dirFd, rimName.constData()) == 0;
        if (!rimPlaced)
            status = failWith(Status::Code::WriteFailed, "cannot put the companion file in place");
    }
    if (status.isOk()) {
        textPlaced = ::renameat(dirFd, textPart.constData(), dirFd, textName.constData()) == 0;
        if (!textPlaced)
            status = failWith(Status::Code::WriteFailed, "cannot put the copy in place");
    }
    if (!rimPlaced && rimFd >= 0)
        ::unlinkat(dirFd, rimPart.constData(), 0);
    if (!textPlaced)
        ::unlinkat(dirFd, textPart.constData(), 0);
    bool closed = ::close(textFd) == 0;
    if (rimFd >= 0 && ::close(rimFd) != 0)
        closed = false;
    if (status.isOk() && !closed)
        status = failWith(Status::Code::WriteFailed, "cannot finish writing the copy");
    if (!status.isOk()) {
        if (textPlaced)
            ::unlinkat(dirFd, textName.constData(), 0);
        if (rimPlaced)
            ::unlinkat(dirFd, rimName.constData(), 0);
        return status;
    }

    made.insert(pathOf(textName), stampName);
    // A source that changed while it was read gave a copy of neither version: not to be reused.
    if (::fstat(job.sourceFd, &sourceAfter) == 0 && sameContent(job.sourceStat, sourceAfter))
        writeStamp(stampName, job.source, job.sourceStat, copy, plucker ? &rim : nullptr, job.format());

    result.textPath = pathOf(textName);
    if (plucker) {
        madeRims.append(rimName);
        result.plucker = !job.book();
        result.rimPath = job.book() ? QString() : pathOf(rimName);
        if (job.book()) {
            result.book = true;
            result.info = readInfo(rimName).value_or(BookInfo());
        }
    }
    return Status::ok();
}

void SourcePreparer::release(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const auto it = d->made.find(absolute);
    if (it == d->made.end())
        return; // not ours: a document that merely lies in the folder stays
    const QByteArray stampName = it.value();
    d->made.erase(it);
    const QFileInfo info(absolute);
    if (d->dirFd < 0 || info.absolutePath() != d->folderPath)
        return;
    // The stamp first: a copy without its stamp is never reused, whatever happens next.
    ::unlinkat(d->dirFd, stampName.constData(), 0);
    ::unlinkat(d->dirFd, QFile::encodeName(info.fileName()).constData(), 0);
}

QString SourcePreparer::folder() const
{
    if (d->folderPath.isEmpty() || d->dirFd < 0)
        d->ensureFolder();
    return d->folderPath;
}

int SourcePreparer::removeAbandonedParts(const QString &folderRoot)
{
    const QByteArray path = QFile::encodeName(folderRoot + QLatin1String("/folium"));
    const int dirFd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (dirFd < 0)
        return 0;
    if (::fstat(dirFd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(dirFd);
        return 0;
    }
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    int removed = 0;
    while (const struct dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, ".part-", 6) != 0)
            continue;
        // O_NOFOLLOW: a link is left alone; O_NONBLOCK: a FIFO does not hold the sweep up.
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat part, named;
        // The name is checked to be the file locked, and removed while the lock is held.
        if (::fstat(fd, &part) == 0 && S_ISREG(part.st_mode) && part.st_uid == ::geteuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(part, named)
            && ::unlinkat(dirFd, entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}
