#include "Fb2Book.h"

Status Fb2Book::convert(int, bool, int, CopyMeter &, BookInfo &)
{
    return Status::error(Status::Code::Unsupported, "FictionBook books cannot be read yet.");
}
