#include "SourcePreparer.h"
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
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Layout of the private folder, for a document whose base name (file name up to its first ".")
// is B:
//   B.txt   the prepared text the view reads
//   B.rim   a Plucker document's paragraph index
//   B.src   beside a zip or gzip copy: which source it was made from and what it looked like
//           when complete; without it, or when it does not match, B.txt is never reused
//   .part-* output being written; renamed into place only once complete
// Every file is created with O_EXCL | O_NOFOLLOW relative to the folder's descriptor, and only
// renamed over the final names, so a planted symbolic link is replaced, never followed.

namespace {

constexpr size_t NameMax = 255; // one path component, in bytes
constexpr char StampMagic[] = "folium prepared copy 1\n";

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

// What a stamp records: the source file's path and identity when the copy was made, and the
// identity and size of the finished copy. Written as "key value" lines, the path last.
QByteArray stampText(const QByteArray &source, const struct stat &s, const struct stat &copy)
{
    QByteArray t(StampMagic);
    t += "source-dev " + QByteArray::number(quint64(s.st_dev)) + '\n';
    t += "source-ino " + QByteArray::number(quint64(s.st_ino)) + '\n';
    t += "source-size " + QByteArray::number(qint64(s.st_size)) + '\n';
    t += "source-mtime " + QByteArray::number(nanoseconds(s.st_mtim)) + '\n';
    t += "copy-dev " + QByteArray::number(quint64(copy.st_dev)) + '\n';
    t += "copy-ino " + QByteArray::number(quint64(copy.st_ino)) + '\n';
    t += "copy-size " + QByteArray::number(qint64(copy.st_size)) + '\n';
    t += "source-path " + source;
    return t;
}

} // namespace

struct SourcePreparer::Private
{
    QString root;
    QString folderPath; // the folder in use; empty until settled
    bool fallback = false;
    int dirFd = -1;
    QHash<QString, QByteArray> made; // prepared text path -> its stamp's name
    QList<QByteArray> madeRims;

    bool ensureFolder();
    int createPart(QByteArray &name);
    bool stampMatches(const QByteArray &stampName, const QByteArray &textName, const QByteArray &source,
                      const struct stat &s) const;
    void writeStamp(const QByteArray &stampName, const QByteArray &source, const struct stat &s,
                    const struct stat &copy);
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
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool SourcePreparer::Private::stampMatches(const QByteArray &stampName, const QByteArray &textName,
                                           const QByteArray &source, const struct stat &s) const
{
    const int fd = ::openat(dirFd, stampName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    QByteArray stamp;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_size < 65536) {
        stamp.resize(int(st.st_size));
        if (::pread(fd, stamp.data(), size_t(stamp.size()), 0) != ssize_t(stamp.size()))
            stamp.clear();
    }
    ::close(fd);
    struct stat copy;
    if (stamp.isEmpty() || ::fstatat(dirFd, textName.constData(), &copy, AT_SYMLINK_NOFOLLOW) != 0
        || !S_ISREG(copy.st_mode) || copy.st_uid != ::geteuid())
        return false;
    return stamp == stampText(source, s, copy);
}

void SourcePreparer::Private::writeStamp(const QByteArray &stampName, const QByteArray &source,
                                         const struct stat &s, const struct stat &copy)
{
    QByteArray part;
    const int fd = createPart(part);
    if (fd < 0)
        return; // the copy is complete, it just will not be reused
    const QByteArray text = stampText(source, s, copy);
    const bool written = fileio::writeAll(fd, text.constData(), size_t(text.size()));
    if (::close(fd) != 0 || !written
        || ::renameat(dirFd, part.constData(), dirFd, stampName.constData()) != 0)
        ::unlinkat(dirFd, part.constData(), 0);
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
        return Kind::Zip;
    if (ext == QLatin1String("gz"))
        return Kind::Gzip;
    if (ext == QLatin1String("pdb") || ext == QLatin1String("prc"))
        return Kind::Palm;
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
    case SourcePreparer::Kind::Plain: break;
    }
    return "Not an archive or a Palm database";
}
} // namespace

SourcePreparer::Result SourcePreparer::prepare(const QString &documentPath)
{
    Result result;
    const Kind kind = kindOf(documentPath);
    auto fail = [&](Status::Code code, const std::string &detail) {
        result.status = Status::error(code, failureMessage(kind), detail);
        return result;
    };
    if (kind == Kind::Plain)
        return fail(Status::Code::Unsupported, "a plain document needs no preparing");
    const QString absolute = QFileInfo(documentPath).absoluteFilePath();
    const QByteArray source = QFile::encodeName(absolute);
    struct stat sourceStat;
    if (::stat(source.constData(), &sourceStat) != 0)
        return fail(Status::Code::NotFound, std::strerror(errno));
    if (S_ISDIR(sourceStat.st_mode))
        return fail(Status::Code::NotRegularFile, "a folder, not a file");
    if (!d->ensureFolder())
        return fail(Status::Code::WriteFailed, "no private temporary folder can be made");

    const QByteArray base = baseName(documentPath);
    const QByteArray textName = componentName(base, ".txt");
    const QByteArray stampName = componentName(base, ".src");
    const QByteArray rimName = componentName(base, ".rim");
    const QString textPath = d->folderPath + QLatin1Char('/') + QFile::decodeName(textName);

    if (kind != Kind::Palm && d->stampMatches(stampName, textName, source, sourceStat)) {
        d->made.insert(textPath, stampName);
        result.textPath = textPath;
        return result;
    }
    // From here on B.txt is being replaced; whatever it holds is no longer a finished copy.
    ::unlinkat(d->dirFd, stampName.constData(), 0);
    if (kind == Kind::Palm)
        ::unlinkat(d->dirFd, rimName.constData(), 0);

    QByteArray textPart, rimPart;
    const int textFd = d->createPart(textPart);
    if (textFd < 0)
        return fail(Status::Code::WriteFailed, std::string("cannot create the copy: ") + std::strerror(errno));
    const int rimFd = kind == Kind::Palm ? d->createPart(rimPart) : -1;

    Status status;
    bool plucker = false;
    if (kind == Kind::Zip) {
        status = Unzip(absolute).uncompress(textFd);
    } else if (kind == Kind::Gzip) {
        status = Unzip(absolute).ungzip(textFd);
    } else {
        const int sourceFd = fileio::openForReading(source.constData());
        if (sourceFd < 0) {
            status = Status::error(Status::Code::Unreadable, failureMessage(kind), std::strerror(errno));
        } else {
            const makedoc9::Conversion converted = makedoc9::Decomp(sourceFd, textFd, rimFd);
            ::close(sourceFd);
            status = converted.status;
            plucker = converted.result == makedoc9::Plucker;
        }
    }
    struct stat copy;
    bool closed = ::fstat(textFd, &copy) == 0;
    if (::close(textFd) != 0)
        closed = false;
    if (rimFd >= 0 && ::close(rimFd) != 0)
        closed = false;
    if (status.isOk() && !closed)
        status = Status::error(Status::Code::WriteFailed, failureMessage(kind), "cannot finish writing the copy");

    if (plucker && status.isOk() && rimFd >= 0
        && ::renameat(d->dirFd, rimPart.constData(), d->dirFd, rimName.constData()) != 0)
        status = Status::error(Status::Code::WriteFailed, failureMessage(kind), "cannot put the paragraph index in place");
    if (!rimPart.isEmpty())
        ::unlinkat(d->dirFd, rimPart.constData(), 0); // left over only when not renamed
    if (status.isOk() && ::renameat(d->dirFd, textPart.constData(), d->dirFd, textName.constData()) != 0)
        status = Status::error(Status::Code::WriteFailed, failureMessage(kind), "cannot put the copy in place");
    if (!status.isOk()) {
        ::unlinkat(d->dirFd, textPart.constData(), 0);
        if (plucker)
            ::unlinkat(d->dirFd, rimName.constData(), 0);
        result.status = status;
        return result;
    }
    d->made.insert(textPath, stampName);
    if (kind != Kind::Palm)
        d->writeStamp(stampName, source, sourceStat, copy);

    result.textPath = textPath;
    if (plucker) {
        d->madeRims.append(rimName);
        result.plucker = true;
        result.rimPath = d->folderPath + QLatin1Char('/') + QFile::decodeName(rimName);
    }
    return result;
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
