#pragma once

#include <QString>

// Every key the reader takes, the handheld's and the desktop's, as a table for Help > Keys.
QString keysText();
