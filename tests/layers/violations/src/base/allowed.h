#pragma once

// Includes of its own layer and of none: both allowed.
#include "base/clock.h"
#include "g726_tables.h"

#include <string>
