// Moved to common/; this name stays until every include says common/ToolError.h.
#pragma once

#include "common/ToolError.h"
