// Plucker function codes inside converted text.
#include "MyView.h"

// Function codes are not interpreted yet: the code byte itself is skipped.
char32_t MyView::pluckerDecode()
{
    return 0;
}
