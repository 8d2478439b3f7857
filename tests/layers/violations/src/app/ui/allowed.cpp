// Qt code may include Qt and its own core layer.
#include <QSettings>

#include "app/recorder.h"
