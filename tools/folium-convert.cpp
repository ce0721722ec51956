// folium-convert SRC OUT [--rim RIM] [--max-output BYTES]: prepares a .zip, .gz, .pdb, .prc or .epub
// file the way the reader does, writing the text it would read to OUT (an EPUB book's HTML copy;
// and a Plucker paragraph index to RIM), and prints which kind it was: zip, gzip, palmdoc, plucker
// or epub. The text may be at most BYTES
// long (1 GiB unless given). OUT and RIM are written under temporary names beside them and renamed
// into place once complete; on failure the tool prints the reader's message, exits with 1 and
// leaves OUT and RIM as they were.
#include "SourcePreparer.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: folium-convert SRC OUT [--rim RIM] [--max-output BYTES]\n");
    return 2;
}

int fail(const Status &status)
{
    if (status.detail().empty())
        std::fprintf(stderr, "%s\n", status.message().c_str());
    else
        std::fprintf(stderr, "%s (%s)\n", status.message().c_str(), status.detail().c_str());
    return 1;
}

// The temporaries made so far, removed again if the tool is interrupted; paths are copied into
// fixed storage so the handler needs nothing but unlink.
char g_temporaries[2][4096];

void removeTemporariesAndDie(int signal)
{
    for (const char *path : g_temporaries)
        if (path[0])
            ::unlink(path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// An output written under a temporary name in the folder of its final one, then renamed over it.
class AtomicOutput
{
public:
    explicit AtomicOutput(int slot) : m_slot(slot) {}
    AtomicOutput(const AtomicOutput &) = delete;
    AtomicOutput &operator=(const AtomicOutput &) = delete;
    ~AtomicOutput() { discard(); }

    // Makes the temporary for `finalPath`, which must be new or a regular file; a symbolic link is
    // followed, and its target replaced.
    Status create(const char *finalPath)
    {
        m_final = finalPath;
        char resolved[PATH_MAX];
        struct stat st;
        if (::lstat(finalPath, &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(finalPath, resolved))
            m_final = resolved;
        mode_t mode;
        if (::stat(m_final.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode))
                return cannotWrite("not a regular file");
            mode = st.st_mode & 0777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        const size_t slash = m_final.rfind('/');
        const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
        m_temporary = m_final.substr(0, nameAt) + '.' + m_final.substr(nameAt) + ".XXXXXX";
        if (m_temporary.size() >= sizeof g_temporaries[0])
            return cannotWrite("the path is too long");
        m_fd = ::mkostemp(&m_temporary[0], O_CLOEXEC); // O_EXCL, mode 0600
        if (m_fd < 0) {
            m_temporary.clear();
            return cannotWrite(std::strerror(errno));
        }
        std::strcpy(g_temporaries[m_slot], m_temporary.c_str());
        if (::fchmod(m_fd, mode) != 0)
            return cannotWrite(std::strerror(errno));
        return Status::ok();
    }

    int fd() const { return m_fd; }

    Status commit()
    {
        if (::close(m_fd) != 0) {
            m_fd = -1;
            return cannotWrite(std::strerror(errno));
        }
        m_fd = -1;
        if (::rename(m_temporary.c_str(), m_final.c_str()) != 0)
            return cannotWrite(std::strerror(errno));
        m_temporary.clear();
        g_temporaries[m_slot][0] = '\0';
        return Status::ok();
    }

    void discard()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        if (!m_temporary.empty())
            ::unlink(m_temporary.c_str());
        m_temporary.clear();
        g_temporaries[m_slot][0] = '\0';
    }

private:
    Status cannotWrite(const std::string &why) const
    {
        return Status::error(Status::Code::WriteFailed, "cannot write " + m_final, why);
    }

    int m_slot;
    int m_fd = -1;
    std::string m_final;
    std::string m_temporary;
};

bool parseBytes(const char *text, uint64_t &bytes)
{
    if (*text < '0' || *text > '9')
        return false;
    errno = 0;
    char *end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    bytes = value;
    return true;
}

const char *kindName(SourcePreparer::Kind kind, bool plucker)
{
    switch (kind) {
    case SourcePreparer::Kind::Zip: return "zip";
    case SourcePreparer::Kind::Gzip: return "gzip";
    case SourcePreparer::Kind::Palm: return plucker ? "plucker" : "palmdoc";
    case SourcePreparer::Kind::Epub: return "epub";
    case SourcePreparer::Kind::Mobi: return "mobi";
    case SourcePreparer::Kind::Fb2:
    case SourcePreparer::Kind::Fb2Zip: return "fb2";
    case SourcePreparer::Kind::Plain: break;
    }
    return "plain";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return usage();
    const char *rimPath = nullptr;
    uint64_t maxOutput = CopyMeter::DefaultLimit;
    for (int i = 3; i < argc; i += 2) {
        if (i + 1 >= argc)
            return usage();
        if (std::strcmp(argv[i], "--rim") == 0 && !rimPath)
            rimPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--max-output") != 0 || !parseBytes(argv[i + 1], maxOutput))
            return usage();
    }
    const QString source = QFile::decodeName(argv[1]);
    SourcePreparer::Kind kind = SourcePreparer::kindOf(source);
    if (kind == SourcePreparer::Kind::Plain) {
        std::fprintf(stderr, "not a .zip, .gz, .pdb, .prc or .epub file: %s\n", argv[1]);
        return 2;
    }
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(signal, removeTemporariesAndDie);

    int sourceFd;
    Status status = SourcePreparer::openSource(source, &sourceFd);
    if (!status.isOk())
        return fail(status);
    kind = SourcePreparer::refineKind(kind, sourceFd);
    // A rim is written only for a Palm book; a zip or gzip file leaves RIM alone.
    const bool wantsRim = rimPath && kind == SourcePreparer::Kind::Palm;
    AtomicOutput out(0), rim(1);
    status = out.create(argv[2]);
    if (status.isOk() && wantsRim)
        status = rim.create(rimPath);
    bool plucker = false;
    CopyMeter meter(maxOutput);
    if (status.isOk())
        status = SourcePreparer::unpack(kind, sourceFd, out.fd(), wantsRim ? rim.fd() : -1, meter, &plucker);
    ::close(sourceFd);
    // The index first: a text in place always has the index that belongs to it, or none.
    if (status.isOk() && wantsRim) {
        if (plucker) {
            status = rim.commit();
        } else {
            rim.discard();
            if (::unlink(rimPath) != 0 && errno != ENOENT)
                status = Status::error(Status::Code::WriteFailed, std::string("cannot remove ") + rimPath, std::strerror(errno));
        }
    }
    if (status.isOk())
        status = out.commit();
    if (!status.isOk())
        return fail(status);
    std::printf("%s\n", kindName(kind, plucker));
    return 0;
}
