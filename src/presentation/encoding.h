// Keeps the older include path of the Windows-1252 / UTF-8 conversions working.
#pragma once

#include "platform/encoding.h"
