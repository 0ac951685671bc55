#include "FormatSettings.h"
