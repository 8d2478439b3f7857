#pragma once

// A folder the layer table does not know yet.
