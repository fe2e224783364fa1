// Moved to common/; this name stays until every include says common/Printable.h.
#pragma once

#include "common/Printable.h"
