#include "MobiBook.h"

#include "FileIo.h"

#include <cstring>

bool MobiBook::looksLikeMobi(int fd)
{
    char typeAndCreator[8];
    return fileio::readExactlyAt(fd, 60, typeAndCreator, sizeof typeAndCreator)
        && std::memcmp(typeAndCreator, "BOOKMOBI", 8) == 0;
}

Status MobiBook::convert(int, int, CopyMeter &, BookInfo &)
{
    return Status::error(Status::Code::Unsupported, "MOBI books cannot be read yet.");
}
