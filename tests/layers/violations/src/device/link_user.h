#pragma once

// A device header that reaches up into the engine.
#include "engine/engine.h"
