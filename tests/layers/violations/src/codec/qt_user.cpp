// Core code that includes Qt.
#include <QString>

#include "codec/lv_format.h"
